#include "copy/restore_records.h"

#include <cerrno>

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"
#include "copy/feed_report.h"
#include "copy/progress.h"
#include "copy/restore_ahead.h"

namespace {

// What the loop reports for each outcome of a WRITE or a WRITE FILEMARKS.
struct write_messages_t {
    const char* failed_text;
    int failed;
    const char* full_text;  // also for NO SENSE or RECOVERED ERROR with EOM: the early warning
    int full;
    const char* attention_text;
    int attention;
    const char* not_ready_text;
    int not_ready;
    int fatal;       // any other sense key
    int early_warning;
    int unexpected;  // NO SENSE or RECOVERED ERROR without EOM
};

const char fatal_text[] = "BRX:%d: %s: fatal SCSI error (%02X...%02X...%02X %02X)\n";

const write_messages_t record_messages = {
    "BRX:%d: %s: can't complete record write operation\n", 1152,
    "BRX:%d: %s: can't complete record write operation; tape full\n", 1166,
    "BRX:%d: %s: can't complete record write operation; attention\n", 1172,
    "BRX:%d: %s: can't complete record write operation; not ready\n", 1177,
    1184, 1191, 1198,
};

const write_messages_t mark_messages = {
    "BRX:%d: %s: can't complete write mark operation\n", 1274,
    "BRX:%d: %s: can't complete write mark operation; tape full\n", 1288,
    "BRX:%d: %s: can't complete write mark operation; attention\n", 1294,
    "BRX:%d: %s: can't complete write mark operation; not ready\n", 1299,
    1306, 1313, 1320,
};

void report_fatal(const restore_target_t& target, const restore_request_t& request, int number)
{
    const uint8_t* sense = request.sense();
    copy_context.report(fatal_text, number, target.path, sense[0], sense[2], sense[12], sense[13]);
}

// Any sense data at all ends the copy, a recovered error included. The tape stands behind the
// last record or mark that the drive took.
void report_sense(const restore_target_t& target, const restore_request_t& request, const write_messages_t& m)
{
    const uint8_t key = sense_key_of(request);
    if (key == sense_key::blank_check)
        copy_context.report(m.full_text, m.full, target.path);
    else if (key == sense_key::unit_attention)
        copy_context.report(m.attention_text, m.attention, target.path);
    else if (key == sense_key::not_ready)
        copy_context.report(m.not_ready_text, m.not_ready, target.path);
    else if (key != sense_key::no_sense && key != sense_key::recovered_error)
        report_fatal(target, request, m.fatal);
    else if (end_of_medium(request))
        copy_context.report(m.full_text, m.early_warning, target.path);
    else
        report_fatal(target, request, m.unexpected);
}

// Writes one record (length bytes at data) or, for length 0, one tape mark. true when the drive
// took it without a word.
bool write_block(const restore_target_t& target, uint8_t* data, uint32_t length)
{
    const bool mark = length == 0;
    const restore_command_t command =
        mark ? restore_command_t{{0x10, 0, 0, 0, 1, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, 0}
             : restore_command_t{{0x0A, 0, static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 8),
                                  static_cast<uint8_t>(length), 0},
                                 SCSI_IOCTL_DATA_OUT, length};
    const write_messages_t& messages = mark ? mark_messages : record_messages;
    restore_request_t request;
    const bool sent = send_restore_command(target, command, data, request);
    if (sent && !has_sense(request))
        return true;
    progress_erase();
    if (!sent) {
        copy_context.report(messages.failed_text, messages.failed, target.path);
        return false;
    }
    report_sense(target, request, messages);
    return false;
}

// "/block=" takes records up to its length; the buffer has room for them.
uint32_t longest_header_length()
{
    return copy_context.longest_record > transfer_buffer_size ? copy_context.longest_record : transfer_buffer_size;
}

// The loop stopped before the end of the file: 0, or with "/strict" 4 and the reason.
int stopped_early()
{
    if (!copy_context.strict)
        return 0;
    print_to_console_and_log("The copy is incomplete: the restore stopped before the end of the dump file\n");
    return status_incomplete;
}

// A partial header at the end (the file stood at at) is taken as the end; only "/strict" tells
// it from a clean end.
int ended(int64_t at, uint64_t consumed)
{
    return at >= 0 && static_cast<uint64_t>(at) > consumed ? stopped_early() : 0;
}

// The next block of the file, read here or taken from the ring that reads ahead.
void next_block(FILE* file, restore_ring_t* ring, restore_entry_t& entry)
{
    if (ring == nullptr)
        read_restore_entry(file, copy_context.buffer, longest_header_length(), entry);
    else if (!ring->take(entry))
        entry.outcome = container_read_t::data_short;  // only this side stops the ring: never seen
}

// Every stop but the clean end says why; the status line is off the screen before it.
int copy_blocks(const restore_target_t& target, FILE* file, const char* file_name, restore_ring_t* ring)
{
    uint64_t consumed = 0;
    for (restore_entry_t entry;;) {
        next_block(file, ring, entry);
        const container_header_t& header = entry.header;
        if (entry.outcome != container_read_t::block)
            progress_erase();
        switch (entry.outcome) {
        case container_read_t::block:
            if (!write_block(target, entry.data, header.length))
                return stopped_early();
            consumed += container_header_size + header.length;
            progress_block(header.length);
            if (ring != nullptr)
                ring->release_written(header.length);
            continue;
        case container_read_t::end:
            return ended(entry.at, consumed);
        case container_read_t::data_short:
            return stopped_early();
        case container_read_t::header_failed:
        case container_read_t::data_failed:
            errno = entry.error;
            perror(file_name);
            return stopped_early();
        case container_read_t::data_short_at_end:
            copy_context.report("BRX:%d: %s: unexpected end-of-file\n", 1104, file_name);
            return stopped_early();
        case container_read_t::too_long:
            // Never read into the buffer: the file is damaged and the user must see the copy fail.
            copy_context.report("BRX:%d: %s: record length %lu exceeds the transfer buffer\n",
                                restore_too_long_number, file_name, static_cast<unsigned long>(header.length));
            return 1;
        }
        return 0;
    }
}

// "/buffer=": the file is read on a thread of its own, ahead of the drive.
int copy_through_ring(const restore_target_t& target, FILE* file, const char* file_name, ring_report_t& report)
{
    restore_ring_t ring(copy_context.ring, copy_context.ring_size, copy_context.buffer_size, restore_marks);
    start_restore_ahead(file, longest_header_length(), ring);
    progress_show_ring(&ring);
    const int result = copy_blocks(target, file, file_name, &ring);
    report = ring.end();
    progress_show_ring(nullptr);
    return result;
}

}  // namespace

int copy_restore_records(const restore_target_t& target, FILE* file, const char* file_name)
{
    progress_start();
    ring_report_t report;
    const int result = copy_context.ring_size != 0 ? copy_through_ring(target, file, file_name, report)
                                                   : copy_blocks(target, file, file_name, nullptr);
    progress_end();
    if (copy_context.ring_size != 0)
        report_feed(brx_messages(), report, false);
    return result;
}
