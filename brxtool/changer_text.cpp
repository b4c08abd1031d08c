#include "brxtool/changer_text.h"

#include <cstdio>

#include "brxtool/tape.h"

namespace {

struct sense_name_t {
    uint8_t asc, ascq;
    const char* text;
};

// The additional sense codes a library meets most.
const sense_name_t sense_names[] = {
    {0x04, 0x00, "not ready"},
    {0x04, 0x01, "becoming ready"},
    {0x04, 0x03, "manual intervention required"},
    {0x15, 0x01, "mechanical positioning error"},
    {0x24, 0x00, "invalid field in CDB"},
    {0x28, 0x00, "medium may have changed"},
    {0x29, 0x00, "power on or reset"},
    {0x3A, 0x00, "medium not present"},
    {0x3B, 0x0D, "medium destination element full"},
    {0x3B, 0x0E, "medium source element empty"},
    {0x3B, 0x11, "medium magazine not accessible"},
    {0x53, 0x02, "medium removal prevented"},
};

}  // namespace

std::string answer_text(const scsi_answer_t& answer)
{
    char text[64];
    if (answer.kind == answer_kind_t::sense) {
        snprintf(text, sizeof text, "sense %02x/%02x/%02x", answer.key, answer.asc, answer.ascq);
        for (const sense_name_t& name : sense_names)
            if (name.asc == answer.asc && name.ascq == answer.ascq)
                return text + std::string(" (") + name.text + ")";
        return text;
    }
    if (answer.kind == answer_kind_t::good)
        return "done";
    if (answer.system_error != 0)
        return error_text(answer.system_error);
    snprintf(text, sizeof text, "status 0x%02x", answer.status);
    return text;
}

bool open_changer(const std::string& name, changer_t& changer)
{
    if (changer.open(name))
        return true;
    if (changer.open_error != 0)
        fprintf(stderr, "brxtool: %s: %s\n", name.c_str(), error_text(changer.open_error).c_str());
    else if (changer.device_type >= 0 && changer.device_type != 8)
        fprintf(stderr, "brxtool: %s: not a medium changer (device type %d)\n", name.c_str(), changer.device_type);
    else
        fprintf(stderr, "brxtool: %s: %s: %s\n", name.c_str(),
                changer.device_type < 0 ? "the device does not answer INQUIRY" : "the changer does not tell its elements",
                answer_text(changer.answer).c_str());
    return false;
}

bool read_changer_elements(const std::string& name, changer_t& changer, std::vector<element_t>& elements)
{
    scsi_answer_t answer = changer.read_elements(elements);
    if (!answer.good())
        fprintf(stderr, "brxtool: %s: cannot read the element status: %s\n", name.c_str(), answer_text(answer).c_str());
    return answer.good();
}
