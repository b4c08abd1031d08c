#include "copy/dump.h"
#include "copy/dump_manifest.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "copy/bad_list.h"
#include "copy/block_limit.h"
#include "copy/container_writer.h"
#include "copy/copy_context.h"
#include "copy/device_name.h"
#include "copy/dump_ahead.h"
#include "copy/dump_read.h"
#include "copy/dump_restore_output.h"
#include "copy/feed_report.h"
#include "copy/progress.h"
#include "tapeio/scsi_codes.h"
#include "tapeio/spti_inquiries.h"
#include "tapeio/tape_io_objects.h"

namespace {

constexpr int32_t dump_write_failed = -103;  // the dump file could not take a block; errno tells why

// Opens the drive and gives the handle record its address; INVALID_HANDLE_VALUE once reported.
HANDLE open_tape(char* device_name, device_name_t& device)
{
    const HANDLE handle = open_device_name(device_name, device_caller_t::dump, device);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    tape_handle.attach(handle);
    tape_handle.path_id = device.bus;
    tape_handle.target_id = device.target;
    tape_handle.lun = 0;
    tape_handle.largest_buffer = copy_context.buffer_size;
    return handle;
}

// brx's one drive, read with the options of the command line.
dump_reader_t brx_reader()
{
    dump_reader_t reader;
    reader.driver = &active_tape_io;
    reader.handle = &tape_handle;
    reader.buffer = copy_context.buffer;
    reader.buffer_size = copy_context.buffer_size;
    reader.options = {copy_context.bad_block_reads, copy_context.longest_record, copy_context.skip};
    reader.messages = brx_messages();
    return reader;
}

// "/block=": asked before the tape moves. A drive that does not say its limit is not held to one.
bool longest_record_fits_drive(dump_reader_t& reader, HANDLE device, const char* path)
{
    if (reader.options.longest_record == 0)
        return true;
    uint32_t drive_maximum = no_transfer_limit;
    if (!spti_read_block_limits(reader.handle, reader.buffer, drive_maximum))
        drive_maximum = no_transfer_limit;
    return longest_record_fits(device, path, drive_maximum);
}

// Only a request that could not be made stops the dump; after any other answer the drive is
// read from wherever it stands.
bool rewind_tape(dump_reader_t& reader)
{
    if (reader.driver->rewind(reader.handle, reader.buffer, reader.buffer_size) != -1)
        return true;
    say_error(reader.messages, "Failed to rewind tape: %s\n", reader.handle->last_error);
    return false;
}

// The stream's buffer holds a whole record and the next header, so that each record costs one
// write when the header is flushed; the file holds the same bytes after every flush as with a
// small buffer. From a ring a block goes out whole, header and data in one write, without a copy.
FILE* create_dump_file(const char* file_name, std::vector<char>& stream_buffer)
{
    FILE* stream = fopen(file_name, "wb");
    if (stream == nullptr) {
        print_last_error("Failed to open dump file: %s\n");
        return nullptr;
    }
    copy_context.dump_file_created = true;
    stream_buffer.resize(copy_context.ring_size != 0 ? 0 : copy_context.buffer_size);
    setvbuf(stream, stream_buffer.data(), stream_buffer.empty() ? _IONBF : _IOFBF, stream_buffer.size());
    return stream;
}

// A dump file that cannot take the tape's contents ends the process; the partial file stays.
// The tape is left behind the last record read.
[[noreturn]] void dump_file_failed(const char* file_name)
{
    progress_erase();
    perror(file_name);
    CloseHandle(tape_handle.get_os_handle());
    exit(1);
}

bool write_block(container_writer_t& writer, const dump_entry_t& entry, bool from_ring)
{
    const uint32_t size = static_cast<uint32_t>(entry.length);
    if (from_ring)  // the driver's request block in front of the data is done with
        return container_write_block(writer, entry.data, size);
    return container_write_header(writer, size) && (size == 0 || container_write_data(writer, entry.data, size));
}

// The reading ended where data may follow: anything but the drive's end of data, or a give-up.
bool ended_early(const dump_reader_t& reader, int32_t length)
{
    if (length == dump_gave_up) {
        say(reader.messages, "The copy is incomplete: unreadable records ended the dump\n");
        return true;
    }
    const dump_sense_t& sense = reader.walk.last_sense;
    if (sense.key == sense_key::blank_check)
        return false;
    say(reader.messages, "The copy is incomplete: the drive answered %02X/%02X/%02X before the end of its data\n",
        sense.key, sense.asc, sense.ascq);
    return true;
}

void report_skipped(const dump_reader_t& reader, const bad_list_t& list)
{
    const unsigned long count = reader.walk.skipped;
    if (list.path.empty())
        say(reader.messages, "%lu unreadable records skipped\n", count);
    else
        say(reader.messages, "%lu unreadable records skipped, listed in %s\n", count, list.path.c_str());
}

// 0 at the end of the data, 1 after a failure; "/skip" and "/strict" tell more.
int dump_status(const dump_reader_t& reader, int32_t length, bad_list_t& list, uint64_t dump_size)
{
    const bool list_done = finish_bad_list(list, dump_size);
    if (reader.walk.skipped != 0) {
        report_skipped(reader, list);
        copy_context.dump_file_kept = true;  // hours of rescued records
    }
    if (length == dump_read_failed || !list_done)
        return 1;
    if (copy_context.strict && ended_early(reader, length))
        return status_incomplete;
    return reader.walk.skipped != 0 ? status_records_skipped : 0;
}

// The next result of the reading, read here or taken from the ring that reads ahead.
void next_entry(dump_reader_t& reader, dump_ring_t* ring, const message_target_t& messages, uint64_t offset,
                dump_entry_t& entry)
{
    if (ring != nullptr) {
        if (!take_dump_entry(*ring, messages, entry))
            entry.length = dump_read_failed;  // only this side stops the ring: never seen
        return;
    }
    read_dump_entry(reader, offset, entry);
}

// Copies record after record; a skipped record is listed and leaves no block. A failed write of
// the dump file returns dump_write_failed with errno as the write left it.
int32_t copy_records(dump_reader_t& reader, dump_ring_t* ring, const message_target_t& messages,
                     container_writer_t& writer, bad_list_t& list)
{
    for (dump_entry_t entry;;) {
        next_entry(reader, ring, messages, writer.bytes_written, entry);
        const int32_t length = entry.length;
        if (length == dump_record_skipped || length == dump_gave_up) {
            // The line's offset counts what the file holds: after a kill no line names missing data.
            if (fflush(writer.stream) != 0)
                return dump_write_failed;
            if (!add_to_bad_list(list, entry.skipped))
                return dump_read_failed;
            if (length == dump_gave_up)
                return length;
            continue;
        }
        if (length < 0)
            return length;
        if (!write_block(writer, entry, ring != nullptr))
            return dump_write_failed;
        progress_block(static_cast<uint32_t>(length));
        if (ring != nullptr)
            ring->release_written(static_cast<uint32_t>(length));
    }
}

// "/buffer=": the drive is read on a thread of its own, ahead of the writing.
int32_t copy_through_ring(dump_reader_t& reader, container_writer_t& writer, bad_list_t& list, ring_report_t& report)
{
    const message_target_t messages = reader.messages;
    dump_ring_t ring(copy_context.ring, copy_context.ring_size, copy_context.buffer_size, dump_marks);
    start_dump_ahead(reader, ring);
    progress_show_ring(&ring);
    const int32_t length = copy_records(reader, &ring, messages, writer, list);
    const int write_error = errno;
    report = ring.end();  // after a failed write the drive stops reading at once
    progress_show_ring(nullptr);
    errno = write_error;
    return length;
}

}  // namespace

int dump_tape(char* device_name, char* file_name)
{
    device_name_t name;
    const HANDLE device = open_tape(device_name, name);
    if (device == INVALID_HANDLE_VALUE)
        return 1;
    dump_reader_t reader = brx_reader();
    if (!longest_record_fits_drive(reader, device, name.path) || !rewind_tape(reader)) {
        CloseHandle(device);
        return 1;
    }
    container_writer_t writer;
    std::vector<char> stream_buffer;  // lives until the process ends on a failed write
    writer.stream = create_dump_file(file_name, stream_buffer);
    if (writer.stream == nullptr) {
        CloseHandle(device);
        return 1;
    }
    bad_list_t list;
    if (copy_context.skip && !open_bad_list(list, file_name, device)) {
        fclose(writer.stream);
        CloseHandle(device);
        return 1;
    }
    progress_start();
    start_dump_reading(reader);
    ring_report_t report;
    const int32_t length = copy_context.ring_size != 0 ? copy_through_ring(reader, writer, list, report)
                                                       : copy_records(reader, nullptr, reader.messages, writer, list);
    progress_end();
    if (length == dump_write_failed)
        dump_file_failed(file_name);
    // Closed before a failure too, so that the front end can delete the file on every platform.
    if (fclose(writer.stream) != 0 && length != dump_read_failed)
        dump_file_failed(file_name);
    const int status = dump_status(reader, length, list, writer.bytes_written);
    const ring_report_t* feed = copy_context.ring_size != 0 ? &report : nullptr;
    const int result =
        copy_context.manifest ? finish_dump_manifest(reader, device_name, file_name, list.path, status, feed) : status;
    CloseHandle(device);
    if (feed != nullptr)
        report_feed(reader.messages, report, true);
    return result;  // tape left where the reading stopped
}
