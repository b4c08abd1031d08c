#include "brxtool/library_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "copy/block_limit.h"
#include "copy/dump_ahead.h"
#include "platform/system_error_text.h"
#include "tapeio/scsi_codes.h"
#include "tapeio/spti_inquiries.h"
#include "tapeio/spti_sense.h"

namespace {

constexpr int32_t rewound = 1;
constexpr int32_t image_write_failed = -103;
// The SCSI driver's read results: the call failed, a bad status, sense that could not be read,
// and a sense key that ends a read (the end of the data among others).
constexpr int32_t read_call_failed = -3, read_bad_status = -4, read_sense_rejected = -5, read_stopped = -9;

bool is_drive_key(uint8_t key)
{
    return key == sense_key::not_ready || key == sense_key::hardware_error || key == sense_key::illegal_request ||
           key == sense_key::unit_attention || key == sense_key::aborted_command;
}

bool drive_failed(int32_t result, const dump_sense_t& sense)
{
    return result == read_call_failed || result == read_bad_status || result == read_sense_rejected ||
           (result == read_stopped && is_drive_key(sense.key));
}

bool rewind_drive(tape_t& drive, std::string& why)
{
    if (drive.driver->rewind(&drive.handle, drive.memory, record_room) == rewound)
        return true;
    why = "cannot rewind: " + failure_reason(drive);
    return false;
}

// A failed read is said once, with the drive's reason, when the reading ends.
constexpr char told_by_the_library[] = "Failed to read tape block: ";

// One tape's reading: dump's reader, and the ring it fills on a thread of its own when there is one.
struct reading_t {
    reading_t(tape_t& drive, const image_options_t& options, bool speaks) : drive(drive), name(options.name), speaks(speaks)
    {
        reader.driver = drive.driver;
        reader.handle = &drive.handle;
        reader.buffer = drive.memory;
        reader.buffer_size = data_at + options.rescue.longest_record;
        reader.options = options.rescue;
        reader.messages = {stderr, nullptr, nullptr, system_error_text, &held};
        start_dump_reading(reader);
    }
    ~reading_t() { stop(); }

    bool start_ring(uint32_t mib)
    {
        const uint64_t size = uint64_t{mib} << 20, bytes = size + reader.buffer_size;
        void* room = bytes <= SIZE_MAX ? VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT, PAGE_READWRITE)
                                       : nullptr;
        if (room == nullptr)
            return false;
        memory.reset(static_cast<uint8_t*>(room));
        ring = std::make_unique<dump_ring_t>(memory.get(), size, reader.buffer_size, dump_marks);
        start_dump_ahead(reader, *ring);
        return true;
    }

    // The next result of the reading, its messages said; false when the ring was stopped.
    bool next(dump_entry_t& entry)
    {
        if (ring != nullptr && !ring->take(entry))
            return false;
        if (ring == nullptr) {
            held.clear();
            read_dump_entry(reader, offset, entry);
            entry.messages.swap(held);
        }
        for (const held_message_t& message : entry.messages)
            if (speaks && message.console && message.text.rfind(told_by_the_library, 0) != 0)
                fprintf(stderr, "brxtool: library: %s: %s", name.c_str(), message.text.c_str());
        return true;
    }

    // The entry is done with; a failed read's request block (its sense) first goes to the drive's buffer.
    void done(const dump_entry_t& entry)
    {
        if (ring == nullptr)
            return;
        if (entry.length < 0 && entry.length != dump_record_skipped)
            std::memcpy(drive.memory, entry.data - data_at, data_at);
        if (entry.length >= 0)
            ring->release_written(static_cast<uint32_t>(entry.length));
        else
            ring->release();
    }

    void stop()
    {
        if (ring != nullptr)
            ring->end();
    }

    struct release_t {
        void operator()(uint8_t* memory) const { VirtualFree(memory, 0, MEM_RELEASE); }
    };

    tape_t& drive;
    std::string name;
    bool speaks;  // the first reading's messages are said, the second's (verify's) not
    dump_reader_t reader;
    std::vector<held_message_t> held;
    uint64_t offset = 0;  // as in a brx dump file: what the messages name
    std::unique_ptr<uint8_t, release_t> memory;
    std::unique_ptr<dump_ring_t> ring;
};

pass_block_t block_of(const dump_entry_t& entry)
{
    pass_block_t block;
    if (entry.length == dump_record_skipped || entry.length == dump_gave_up) {
        block.kind = pass_kind_t::lost;
        block.listed = &entry.skipped;
        block.block = entry.skipped.block;
        return block;
    }
    block.kind = entry.length == 0 ? pass_kind_t::mark : pass_kind_t::record;
    block.length = static_cast<uint32_t>(entry.length);
    block.data = entry.data;
    return block;
}

// Where the drive stands in the reading's own count, for the messages of read_block's kind.
void stand_at(tape_t& drive, const dump_walk_t& walk, int32_t result)
{
    drive.file = walk.file;
    drive.record = walk.record;
    drive.last_result = result;
}

// Why the reading ended where it did; complete and ended_early say what the image is worth.
void judge_end(reading_t& r, int32_t length, image_result_t& result)
{
    if (length == image_write_failed)
        return;
    const dump_sense_t sense = r.reader.walk.last_sense;
    const int32_t last = r.reader.last_length;
    stand_at(r.drive, r.reader.walk, length == dump_end_of_data ? read_stopped : last);
    const std::string after = "cannot read the block after " + where(r.drive) + ": ";
    if (length == dump_gave_up || (length == dump_end_of_data && sense.key != sense_key::blank_check &&
                                   !is_drive_key(sense.key))) {
        result.complete = result.ended_early = true;
        result.why = length == dump_gave_up ? "gave up after " + std::to_string(dump_skips_in_a_row) +
                                                  " unreadable records in a row; the image ends there"
                                            : after + failure_reason(r.drive);
    } else if (length == dump_end_of_data && sense.key == sense_key::blank_check) {
        result.complete = true;
    } else if (last > 0) {
        result.why = after + "a record of " + std::to_string(last) + " bytes, longer than the longest read, " +
                     std::to_string(r.reader.options.longest_record) + " bytes (--block=)";
    } else {
        result.drive_trouble = drive_failed(last, sense) || length == dump_end_of_data;
        result.why = after + failure_reason(r.drive);
        report_tape_failure(r.drive, "cannot read the block after " + where(r.drive));
    }
}

// Copies entry after entry into out; the reading's last result, or image_write_failed.
int32_t copy_entries(reading_t& r, pass_output_t& out, live_counts_t& live, image_result_t& result)
{
    for (dump_entry_t entry;;) {
        if (!r.next(entry))
            return dump_read_failed;  // only this side stops the ring: never seen
        const int32_t length = entry.length;
        const bool block = length >= 0 || length == dump_record_skipped || length == dump_gave_up;
        const bool written = !block || put_block(out, block_of(entry));
        r.done(entry);
        if (!written) {
            result.why = "cannot write " + out.tape.name + ": " + failure_reason(out.tape);
            return image_write_failed;
        }
        result.skipped += length == dump_record_skipped || length == dump_gave_up ? 1 : 0;
        result.marks += length == 0 ? 1 : 0;
        result.records += length > 0 ? 1 : 0;
        result.bytes += length > 0 ? static_cast<uint32_t>(length) : 0;
        if (length < 0 && length != dump_record_skipped)
            return length;
        live.records = result.records;
        live.bytes = result.bytes;
        live.file = result.marks;
    }
}

}  // namespace

bool longest_record_of(tape_t& drive, uint32_t asked, uint32_t& longest, std::string& why)
{
    uint32_t drive_maximum = no_transfer_limit;
    if (!spti_read_block_limits(&drive.handle, drive.memory, drive_maximum) || drive_maximum == 0)
        drive_maximum = no_transfer_limit;
    const uint32_t transport = transport_transfer_limit(drive.handle.os_handle);
    const uint32_t limit = std::min(drive_maximum, transport);
    if (asked > limit) {
        why = "--block=" + std::to_string(asked) + " is more than " + drive.name + " takes (the drive " +
              (drive_maximum == no_transfer_limit ? "does not say" : std::to_string(drive_maximum)) +
              ", the transport " + (transport == no_transfer_limit ? "no limit" : std::to_string(transport)) + ")";
        return false;
    }
    longest = asked != 0 ? asked : std::min(limit, record_room);
    return true;
}

image_result_t image_tape(tape_t& drive, pass_output_t& out, const image_options_t& options, live_counts_t& live)
{
    image_result_t result;
    live.records = live.bytes = live.file = 0;
    if (!rewind_drive(drive, result.why)) {
        result.drive_trouble = true;
        return result;
    }
    reading_t reading(drive, options, true);
    if (options.buffer_mib != 0 && !reading.start_ring(options.buffer_mib)) {
        result.why = "no memory for a buffer of " + std::to_string(options.buffer_mib) + " MiB";
        return result;
    }
    const int32_t length = copy_entries(reading, out, live, result);
    reading.stop();
    if (reading.ring != nullptr) {
        result.fed = true;
        result.feed = reading.ring->report();
    }
    judge_end(reading, length, result);
    return result;
}

std::string verify_image(tape_t& drive, const std::string& image, const std::string& list, format_t format,
                         const image_options_t& options, bool ended_early, bool& drive_trouble)
{
    drive_trouble = false;
    std::string why;
    if (!rewind_drive(drive, why)) {
        drive_trouble = true;
        return why;
    }
    pass_t pass;
    if (!open_pass(image, format, list, pass))
        return "cannot open " + image + " to compare";
    reading_t reading(drive, options, false);
    if (options.buffer_mib != 0 && !reading.start_ring(options.buffer_mib))
        return "verify: no memory for a buffer of " + std::to_string(options.buffer_mib) + " MiB";
    for (dump_entry_t again;;) {
        const pass_block_t kept = next_block(pass);
        if (kept.kind == pass_kind_t::failed)
            return "cannot read " + image + " after " + where(pass.tape) + ": " + failure_reason(pass.tape);
        if (kept.kind == pass_kind_t::end && ended_early)
            return "";  // the first reading ended here; what the drive gives now was not copied
        if (!reading.next(again))
            return "verify: the reading stopped";  // only this side stops the ring: never seen
        const int32_t length = again.length;
        const bool alike = (kept.kind == pass_kind_t::mark && length == 0) ||
                           (kept.kind == pass_kind_t::record && length == static_cast<int32_t>(kept.length) &&
                            std::memcmp(kept.data, again.data, kept.length) == 0);
        reading.done(again);
        const std::string differs = "verify: the second reading differs from the image at block " +
                                    std::to_string(pass.walk.blocks - (kept.kind == pass_kind_t::end ? 0 : 1));
        if (length < 0 && length != dump_record_skipped) {
            reading.stop();
            image_result_t result;
            judge_end(reading, length, result);
            drive_trouble = result.drive_trouble;
            return !result.complete ? "verify: " + result.why : kept.kind == pass_kind_t::end ? "" : differs;
        }
        if (kept.kind != pass_kind_t::lost && !alike)  // a lost record may read now or not: it was not copied
            return differs;
    }
}
