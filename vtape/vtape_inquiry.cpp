// TEST UNIT READY, INQUIRY, REQUEST SENSE, READ BLOCK LIMITS: nothing here moves the tape.
#include <cstring>

#include "vtape/vtape.h"

namespace {

constexpr uint8_t sequential_access_device = 0x01;
constexpr uint8_t removable_medium = 0x80;
constexpr uint8_t version_spc3 = 0x05;
constexpr uint8_t response_data_format = 0x02;
constexpr uint32_t standard_inquiry_length = 36;
constexpr char vendor_product_revision[] = "BRX     VIRTUAL TAPE    1.2 ";
constexpr char serial_number[] = "VTAPE0000001";

uint32_t standard_inquiry(uint8_t* out)
{
    std::memset(out, 0, standard_inquiry_length);
    out[0] = sequential_access_device;
    out[1] = removable_medium;
    out[2] = version_spc3;
    out[3] = response_data_format;
    out[4] = standard_inquiry_length - 5;
    std::memcpy(out + 8, vendor_product_revision, 28);
    return standard_inquiry_length;
}

// Vital product data: the list of pages (0x00) and the unit serial number (0x80). 0: no such page.
uint32_t vital_product_data(uint8_t page, uint8_t* out)
{
    out[0] = sequential_access_device;
    out[1] = page;
    out[2] = 0;
    if (page == 0x00) {
        out[3] = 2;
        out[4] = 0x00;
        out[5] = 0x80;
        return 6;
    }
    if (page == 0x80) {
        const uint32_t n = sizeof serial_number - 1;
        out[3] = static_cast<uint8_t>(n);
        std::memcpy(out + 4, serial_number, n);
        return 4 + n;
    }
    return 0;
}

}  // namespace

vtape_result_t vtape_t::test_unit_ready(const vtape_command_t&) { return vtape_good(); }

// Byte 1 bit 0 EVPD, byte 2 page code, bytes 3-4 allocation length; the command never fails for a
// missing medium or a pending unit attention.
vtape_result_t vtape_t::inquiry(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    uint8_t bytes[64];
    uint32_t length = 0;
    if (cdb[1] & 0x01) {
        length = vital_product_data(cdb[2], bytes);
        if (length == 0)
            return vtape_invalid_cdb(2);
    } else {
        if (cdb[2] != 0)
            return vtape_invalid_cdb(2);
        length = standard_inquiry(bytes);
    }
    return vtape_deliver(command, bytes, length, vtape_be16(cdb + 3));
}

// Sense data as data: the pending unit attention (which this clears), a missing medium, or nothing.
vtape_result_t vtape_t::request_sense(const vtape_command_t& command)
{
    if (command.cdb[1] & 0x01)  // DESC: descriptor-format sense is not offered
        return vtape_invalid_cdb(1);
    vtape_sense_t sense;
    if (attention_left_ > 0) {
        --attention_left_;
        sense.key = vtape_sense::unit_attention;
        sense.code = vtape_sense::medium_may_have_changed;
    } else if (options_.not_ready || !loaded_) {
        sense.key = vtape_sense::not_ready;
        sense.code = vtape_sense::medium_not_present;
    }
    uint8_t bytes[vtape_sense::length];
    sense.encode(bytes);
    return vtape_deliver(command, bytes, vtape_sense::length, command.cdb[4]);
}

// Granularity 0, maximum length (3 bytes), minimum length (2 bytes).
vtape_result_t vtape_t::read_block_limits(const vtape_command_t& command)
{
    uint8_t bytes[6] = {};
    vtape_put_be24(bytes + 1, options_.max_block);
    vtape_put_be16(bytes + 4, options_.min_block);
    return vtape_deliver(command, bytes, sizeof bytes, sizeof bytes);
}
