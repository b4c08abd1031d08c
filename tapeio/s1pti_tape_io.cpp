#include "tapeio/s1pti_tape_io.h"

#include "tapeio/spti_mode_data.h"
#include "tapeio/spti_sense.h"

namespace {

// Buffered mode 1 at the drive's own speed; the write-protect bit goes to 0.
uint8_t buffered_keep_speed(uint8_t device_specific) { return static_cast<uint8_t>((device_specific & 0x0F) + 0x10); }

// Reads header and descriptors in one form and edits them; false when the drive gave nothing usable.
bool prepare_header_list(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t* area,
                         uint32_t* list_length)
{
    spti_request_t* request = mode_sense_command(handle, buffer, form, mode_page_header_only, area);
    if (send_and_classify(handle, request) != call_outcome_t::good)
        return false;
    mode_layout_t layout;
    if (!parse_mode_data(form, area, mode_bytes_received(request), &layout))
        return false;
    edit_mode_header(form, area, layout, buffered_keep_speed);
    *list_length = layout.header_length + layout.descriptor_length;
    return true;
}

}  // namespace

// Always 0: a drive that refuses keeps its modes, and nobody is told. The tape does not move.
// The caller's buffer is the work area, whatever size it names: the transfer buffer.
int32_t s1pti_tape_io_t::setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    uint8_t* area = buffer + data_offset(handle);
    uint32_t list_length = 0;
    mode_form_t form = mode_form_t::ten_byte;
    if (!prepare_header_list(handle, buffer, form, area, &list_length)) {
        form = mode_form_t::six_byte;
        if (!prepare_header_list(handle, buffer, form, area, &list_length))
            return 0;
    }
    spti_request_t* request =
        mode_select_command(handle, buffer, form, mode_select_plain, area, static_cast<uint8_t>(list_length));
    send_request(handle, request);
    return 0;
}
