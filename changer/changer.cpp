#include "changer/changer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/device_paths.h"
#include "tapeio/scsi_codes.h"

namespace {

constexpr uint32_t data_at = 512;
constexpr uint32_t reply_room = 65536 - data_at;
constexpr int medium_changer = 8;
constexpr uint8_t positioning_error = 0x15, not_ready_cause = 0x04, manual_intervention = 0x03;

bool refused(const scsi_answer_t& answer)
{
    return answer.kind == answer_kind_t::sense && answer.key == sense_key::illegal_request;
}

// Identifiers read in a request of their own, joined to the elements by address.
void join_identifiers(std::vector<element_t>& elements, const std::vector<element_t>& identified)
{
    for (element_t& element : elements)
        for (const element_t& other : identified)
            if (other.address == element.address)
                element.identifier = other.identifier;
}

}  // namespace

bool is_transient(const scsi_answer_t& answer)
{
    if (answer.kind != answer_kind_t::sense)
        return false;
    if (answer.key == sense_key::unit_attention || answer.asc == positioning_error)
        return true;
    return answer.key == sense_key::not_ready && !(answer.asc == not_ready_cause && answer.ascq == manual_intervention);
}

changer_t::changer_t() : buffer(data_at + reply_room) {}

changer_t::~changer_t()
{
    if (handle.get_os_handle() != INVALID_HANDLE_VALUE)
        CloseHandle(handle.get_os_handle());
}

template <class command_t> scsi_answer_t changer_t::persist(command_t command)
{
    for (int attempt = 0;; ++attempt) {
        scsi_answer_t result = command();
        if (result.good() || !is_transient(result) || attempt >= retries)
            return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(retry_pause_ms));
    }
}

bool changer_t::open(const std::string& name)
{
    HANDLE os = open_named_device(name.c_str());
    if (os == INVALID_HANDLE_VALUE) {
        open_error = GetLastError();
        return false;
    }
    handle.attach(os);
    handle.path_id = handle.target_id = handle.lun = 0;
    uint8_t* data = buffer.data() + data_at;
    answer = inquiry(&handle, buffer.data(), false, 0, data, 36);
    if (!answer.good())
        return false;
    device_type = data[0] & 0x1F;
    if (device_type != medium_changer)
        return false;
    answer = persist([&] { return sense_element_addresses(&handle, buffer.data(), data, 255); });
    if (answer.good() && !parse_element_layout(data, answer.transferred, layout)) {
        answer.kind = answer_kind_t::failed;  // no element address page: nothing to go by
        answer.status = scsi_status::good;
    }
    return answer.good();
}

scsi_answer_t changer_t::read_elements(std::vector<element_t>& elements)
{
    const element_type_t types[] = {element_type_t::transport, element_type_t::slot, element_type_t::portal,
                                    element_type_t::drive};
    for (element_type_t type : types) {
        bool drives = type == element_type_t::drive;
        std::vector<element_t> found;
        scsi_answer_t result = read_type(type, true, drives, found);
        // Some changers refuse volume tags and identifiers in one request: ask for each alone.
        if (refused(result) && drives) {
            found.clear();
            std::vector<element_t> identified;
            result = read_type(type, true, false, found);
            if (result.good() && read_type(type, false, true, identified).good())
                join_identifiers(found, identified);
        }
        if (refused(result)) {
            found.clear();
            result = read_type(type, false, false, found);
        }
        if (!result.good())
            return result;
        elements.insert(elements.end(), found.begin(), found.end());
    }
    return {answer_kind_t::good};
}

scsi_answer_t changer_t::read_type(element_type_t type, bool tags, bool identifiers, std::vector<element_t>& elements)
{
    const uint32_t first = layout.first_of(type);
    const uint32_t end = first + layout.count_of(type);
    for (uint32_t start = first; start < end;) {
        const auto count = static_cast<uint16_t>(std::min<uint32_t>(chunk, end - start));
        std::vector<element_t> got;
        scsi_answer_t result = read_chunk({type, static_cast<uint16_t>(start), count, tags, identifiers}, got);
        if (!result.good())
            return result;
        size_t before = elements.size();
        for (element_t& element : got) {
            if (element.type != type || element.address < start || element.address >= end)
                continue;
            // A descriptor cut short (a limit on the reply) may come whole when asked for alone.
            if (element.cut && got.size() > 1)
                read_alone(element, tags, identifiers);
            elements.push_back(element);
            start = std::max<uint32_t>(start, element.address + 1u);
        }
        if (elements.size() == before)
            break;  // nothing new: stop rather than ask again for the same
    }
    return {answer_kind_t::good};
}

scsi_answer_t changer_t::read_chunk(const element_request_t& request, std::vector<element_t>& elements)
{
    uint8_t* data = buffer.data() + data_at;
    scsi_answer_t result = persist([&] { return read_element_status(&handle, buffer.data(), request, data, reply_room); });
    if (result.good())
        parse_element_status(data, std::min(result.transferred, reply_room), elements);
    return result;
}

void changer_t::read_alone(element_t& element, bool tags, bool identifiers)
{
    std::vector<element_t> got;
    read_chunk({element.type, element.address, 1, tags, identifiers}, got);
    for (const element_t& alone : got)
        if (alone.address == element.address && alone.type == element.type && !alone.cut)
            element = alone;
}

scsi_answer_t changer_t::move(uint16_t source, uint16_t destination)
{
    const uint16_t transport = layout.first_of(element_type_t::transport);
    return persist([&] { return move_medium(&handle, buffer.data(), transport, source, destination); });
}

scsi_answer_t changer_t::initialize()
{
    return persist([&] { return initialize_element_status(&handle, buffer.data()); });
}
