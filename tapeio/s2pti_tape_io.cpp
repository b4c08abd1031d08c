#include "tapeio/s2pti_tape_io.h"

#include "tapeio/spti_mode_data.h"
#include "tapeio/spti_sense.h"

namespace {

constexpr int32_t no_mode_data = -1;
constexpr int32_t call_failed = -2;
constexpr int32_t bad_status = -3;

// Buffered mode 1 and speed 15, whatever the drive said.
uint8_t buffered_full_byte(uint8_t) { return 0x1F; }

bool read_current_values(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t* area,
                         mode_layout_t* layout)
{
    spti_request_t* request = mode_sense_command(handle, buffer, form, mode_pages_current, area);
    if (send_and_classify(handle, request) != call_outcome_t::good)
        return false;
    return parse_mode_data(form, area, mode_bytes_received(request), layout);
}

int32_t command_failure(tape_io_handle_t* handle, call_outcome_t outcome)
{
    return fail(handle, outcome == call_outcome_t::call_failed ? call_failed : bad_status);
}

// Byte 8: DBR, BIS and RBO kept, AVC set, RSmk, SOCF and REW cleared, where the drive lets them change.
uint8_t device_configuration_byte8(uint8_t current, uint8_t changeable)
{
    uint8_t wanted = static_cast<uint8_t>((current & 0xD2) | 0x10);
    return static_cast<uint8_t>((current & ~changeable) | (wanted & changeable));
}

// Writes the rebuilt page at list (which never lies behind page) and returns its length.
uint32_t rebuild_device_configuration(uint8_t* list, const uint8_t* page, uint32_t page_length, uint8_t changeable)
{
    uint8_t edited[2 + 255] = {};
    std::memcpy(edited, page, page_length);
    edited[0] = device_configuration_page;  // PS clear
    std::memset(edited + 2, 0, 4);          // format, partition, buffer ratios
    edited[8] = device_configuration_byte8(edited[8], changeable);
    std::memmove(list, edited, page_length);
    return page_length;
}

// The list: header and descriptors, then the Device Configuration page alone; others are not sent.
uint32_t build_parameter_list(uint8_t* current, const mode_layout_t& layout, const uint8_t* changeable,
                              uint32_t changeable_length)
{
    uint32_t list = layout.header_length + layout.descriptor_length;
    uint32_t page = list;
    while (page + 2 <= layout.total_length) {
        uint32_t page_length = 2u + current[page + 1];
        if (page + page_length > layout.total_length)
            break;  // cut off where the received bytes end
        if ((current[page] & 0x3F) == device_configuration_page) {
            uint8_t mask = page + 8 < changeable_length ? changeable[page + 8] : 0;
            list += rebuild_device_configuration(current + list, current + page, page_length, mask);
        }
        page += page_length;
    }
    return list;
}

}  // namespace

// 0: the drive takes variable blocks in buffered mode; the tape does not move. -1 to -3 on failure.
// The caller's buffer is the work area, whatever size it names: the transfer buffer.
int32_t s2pti_tape_io_t::setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    uint32_t offset = static_cast<uint32_t>(data_offset(handle));
    uint8_t* current = buffer + offset;
    uint8_t* changeable = buffer + 2 * offset;
    mode_layout_t layout;
    mode_form_t form = mode_form_t::six_byte;
    if (!read_current_values(handle, buffer, form, current, &layout)) {
        form = mode_form_t::ten_byte;
        if (!read_current_values(handle, buffer, form, current, &layout)) {
            handle->last_error = ERROR_GEN_FAILURE;
            SetLastError(ERROR_GEN_FAILURE);
            return no_mode_data;
        }
    }
    edit_mode_header(form, current, layout, buffered_full_byte);

    spti_request_t* request = mode_sense_command(handle, buffer, form, mode_pages_changeable, changeable);
    call_outcome_t outcome = send_and_classify(handle, request);
    if (outcome != call_outcome_t::good)
        return command_failure(handle, outcome);
    mode_layout_t changeable_layout;
    uint32_t changeable_length = 0;
    if (parse_mode_data(form, changeable, mode_bytes_received(request), &changeable_layout))
        changeable_length = changeable_layout.total_length;

    uint32_t list_length = build_parameter_list(current, layout, changeable, changeable_length);
    request = mode_select_command(handle, buffer, form, mode_select_page_format, current,
                                  static_cast<uint8_t>(list_length));
    outcome = send_and_classify(handle, request);
    return outcome == call_outcome_t::good ? 0 : command_failure(handle, outcome);
}
