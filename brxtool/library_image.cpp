#include "brxtool/library_image.h"

#include <algorithm>
#include <cstring>

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_sense.h"

namespace {

constexpr int32_t rewound = 1;
// The SCSI driver's read results: the call failed, a bad status, sense that could not be read,
// and the end of the data (BLANK CHECK, or any other sense key that ends a read).
constexpr int32_t read_call_failed = -3, read_bad_status = -4, read_sense_rejected = -5, read_stopped = -9;

void start_counts(tape_t& tape)
{
    tape.file = tape.record = tape.records = tape.bytes = tape.marks = tape.bad = 0;
}

// The sense key of the drive's last command, from the request block its driver left in the buffer.
uint8_t last_sense_key(const tape_t& drive) { return read_sense(request_block(drive.memory)->sense).key; }

bool is_drive_key(uint8_t key)
{
    return key == sense_key::not_ready || key == sense_key::hardware_error || key == sense_key::illegal_request ||
           key == sense_key::unit_attention || key == sense_key::aborted_command;
}

bool drive_failed(const tape_t& drive)
{
    const int32_t result = drive.last_result;
    return result == read_call_failed || result == read_bad_status || result == read_sense_rejected ||
           (result == read_stopped && is_drive_key(last_sense_key(drive)));
}

// A read that ended other than at the end of the data (a drive that went not ready, a reset).
std::string stop_reason(const tape_t& drive)
{
    if (drive.last_result != read_stopped || last_sense_key(drive) == sense_key::blank_check)
        return "";
    const uint8_t* sense = request_block(drive.memory)->sense;
    char text[96];
    snprintf(text, sizeof text, "the reading stopped after %s on sense %02x/%02x/%02x, before the end of the data",
             where(drive).c_str(), sense[2] & 0x0F, sense[12], sense[13]);
    return text;
}

bool rewind_drive(tape_t& drive, std::string& why)
{
    if (drive.driver->rewind(&drive.handle, drive.memory, record_room) == rewound)
        return true;
    why = "cannot rewind: " + failure_reason(drive);
    return false;
}

// Copies blocks until the end; false (with why) when a read or a write fails.
bool copy_blocks(tape_t& drive, tape_t& image, live_counts_t& live, image_result_t& result)
{
    for (;;) {
        block_t block = read_block(drive);
        if (block.kind == block_kind_t::failed) {
            result.why = "cannot read the block after " + where(drive) + ": " + failure_reason(drive);
            result.drive_trouble = drive_failed(drive);
            return false;
        }
        if (block.kind == block_kind_t::end) {
            result.why = stop_reason(drive);
            result.drive_trouble = !result.why.empty() && drive_failed(drive);
            return result.why.empty();
        }
        bool written = block.kind == block_kind_t::mark ? write_mark(image)
                                                         : write_record(image, block.data, block.length, block.bad);
        if (!written) {
            result.why = "cannot write " + image.name + ": " + failure_reason(image);
            return false;
        }
        live.records = drive.records;
        live.bytes = drive.bytes;
        live.file = drive.file;
    }
}

}  // namespace

image_result_t image_tape(tape_t& drive, const std::string& path, format_t format, live_counts_t& live)
{
    image_result_t result;
    start_counts(drive);
    live.records = live.bytes = live.file = 0;
    if (!rewind_drive(drive, result.why)) {
        result.drive_trouble = true;
        return result;
    }
    tape_t image;
    if (!create_tape(path, format, image)) {
        result.why = "cannot create " + path;
        return result;
    }
    bool copied = copy_blocks(drive, image, live, result) && finish_tape(image);
    if (copied && !FlushFileBuffers(image.handle.os_handle))
        result.why = "cannot write " + path + " to the disk: " + error_text(GetLastError());
    else if (copied)
        result.complete = true;
    else if (result.why.empty())
        result.why = "cannot end " + path;
    result.records = drive.records;
    result.bytes = drive.bytes;
    result.marks = drive.marks;
    result.skipped = drive.bad;
    return result;
}

std::string verify_image(tape_t& drive, const std::string& path, format_t format, bool& drive_trouble)
{
    drive_trouble = false;
    std::string why;
    start_counts(drive);
    if (!rewind_drive(drive, why)) {
        drive_trouble = true;
        return why;
    }
    tape_t image;
    if (!open_tape(path, format, image))
        return "cannot open " + path + " to compare";
    for (;;) {
        const block_t kept = read_block(image);
        if (kept.kind == block_kind_t::failed)
            return "cannot read " + path + " after " + where(image) + ": " + failure_reason(image);
        const block_t again = read_block(drive);
        why = again.kind == block_kind_t::end ? stop_reason(drive) : "";
        if (again.kind == block_kind_t::failed)
            why = "cannot read the block after " + where(drive) + ": " + failure_reason(drive);
        if (!why.empty()) {
            drive_trouble = drive_failed(drive);
            return "verify: " + why;
        }
        if (kept.kind != again.kind || kept.length != again.length ||
            (kept.kind == block_kind_t::record && std::memcmp(kept.data, again.data, kept.length) != 0))
            return "verify: the second reading differs from the image at " + where(drive);
        if (kept.kind == block_kind_t::end)
            return "";
    }
}
