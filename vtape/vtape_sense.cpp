#include "vtape/vtape_sense.h"

#include <cstring>

void vtape_sense_t::encode(uint8_t out[vtape_sense::length]) const
{
    std::memset(out, 0, vtape_sense::length);
    out[0] = vtape_sense::response_current_fixed | (valid ? vtape_sense::valid_bit : 0);
    out[2] = static_cast<uint8_t>((key & 0x0F) | (filemark ? vtape_sense::filemark_bit : 0) |
                                  (eom ? vtape_sense::eom_bit : 0) | (ili ? vtape_sense::ili_bit : 0));
    const uint32_t info = static_cast<uint32_t>(information);
    out[3] = static_cast<uint8_t>(info >> 24);
    out[4] = static_cast<uint8_t>(info >> 16);
    out[5] = static_cast<uint8_t>(info >> 8);
    out[6] = static_cast<uint8_t>(info);
    out[7] = vtape_sense::additional_length;
    out[12] = code.asc;
    out[13] = code.ascq;
    if (field_pointer) {
        out[15] = static_cast<uint8_t>(0x80 | (in_cdb ? 0x40 : 0x00));  // SKSV, C/D; no bit pointer
        out[16] = static_cast<uint8_t>(field_byte >> 8);
        out[17] = static_cast<uint8_t>(field_byte);
    }
}

namespace vtape_sense {

const char* key_name(uint8_t key)
{
    static const char* const names[16] = {
        "NO SENSE",        "RECOVERED ERROR", "NOT READY",    "MEDIUM ERROR",
        "HARDWARE ERROR",  "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",     "VENDOR SPECIFIC", "COPY ABORTED", "ABORTED COMMAND",
        "?",               "VOLUME OVERFLOW", "MISCOMPARE",   "?"};
    return names[key & 0x0F];
}

}  // namespace vtape_sense
