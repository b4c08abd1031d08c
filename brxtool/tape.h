// A tape as brxtool's commands see it: an image file in one of the formats, or a device read
// through the SCSI driver as dump reads it. Each tape owns a buffer that holds the longest record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "brxtool/formats.h"
#include "tapeio/tape_io_handle.h"

// The longest record brxtool carries: what a SCSI READ(6) can ask for and a SIMH image can hold.
constexpr uint32_t record_room = 0x00FFFFFF;
// Where a record's data lies in every tape's buffer, whatever the driver's own data offset:
// a record read from one tape can then be written to another without a copy.
constexpr uint32_t data_at = 512;

struct read_ahead_t;

struct tape_t {
    tape_t();
    tape_t(const tape_t&) = delete;
    tape_t& operator=(const tape_t&) = delete;
    ~tape_t();

    std::string name;
    format_t format = format_t::unknown;
    tape_io_t* driver = nullptr;
    tape_io_handle_t handle;
    uint8_t* memory = nullptr;
    uint64_t file_size = 0;    // an image's size when opened (a pipe's is not known)
    bool standard = false;     // "-": standard input or output, which brxtool does not close
    uint64_t stray = 0;        // bytes after the last whole block, too few for a block: the end
    // Where the last block read stands: tape files from 0, records within a file from 1.
    uint64_t file = 0;
    uint64_t record = 0;
    uint64_t records = 0, bytes = 0, marks = 0, bad = 0;
    int32_t last_result = 0;  // what the driver answered last, for a failure without a system code
    std::unique_ptr<read_ahead_t> ahead;  // --buffer=: a device read ahead by a thread of its own
};

enum class block_kind_t { record, mark, end, failed };

struct block_t {
    block_kind_t kind = block_kind_t::end;
    uint32_t length = 0;
    bool bad = false;
    uint8_t* data = nullptr;
    uint64_t offset = 0;  // an image's position before the block
};

bool is_device_name(const std::string& name);
// "-": standard input (or output, for convert's OUT).
bool is_standard_stream(const std::string& name);
// Opens an image (its format from --from, else from its content) or a device (rewound, as dump
// does). Prints why and returns false when it cannot.
// A fallback format is taken, with a note, when the content fits none.
bool open_tape(const std::string& name, format_t from, tape_t& tape, format_t fallback = format_t::unknown);
// Creates (or empties) an image file to write in the format.
bool create_tape(const std::string& name, format_t format, tape_t& tape);
// The next block, counted into the tape's totals. A failure has been reported. An image delivers
// only the first wanted bytes of a record (the rest is passed over), a device all of it. A record
// longer than record_room fails, unless long_records: then data holds its first record_room bytes.
block_t read_block(tape_t& tape, bool long_records = false, uint32_t wanted = record_room);
// Writes a record (length bytes at data, which has data_at bytes of room before it) or a mark.
bool write_record(tape_t& tape, uint8_t* data, uint32_t length, bool bad);
bool write_mark(tape_t& tape);
// Ends the data written (the format's end marker) and hands the last bytes to the system: the
// image is complete. Like cp, it leaves writing the file back to the disk to the system.
bool finish_tape(tape_t& tape);
// Closes the image (what is still buffered goes out first) or the device.
void close_tape(tape_t& tape);
// "NAME: N stray bytes after the last whole block, read as the end of the tape" when there are.
std::string stray_note(const tape_t& tape);
// "file 2, record 5" of the block read last (or the one a failed read was after).
std::string where(const tape_t& tape);
// The exit status for a failed read: damage found (1) or trouble (2).
int failure_status(const tape_t& tape);
// The system's text for an error code, without its line break.
std::string error_text(DWORD code);
// Why the last operation failed: the system's reason held in the handle, or the drive's.
std::string failure_reason(const tape_t& tape);
// Prints "brxtool: NAME: what: the reason held in the handle".
void report_tape_failure(const tape_t& tape, const std::string& what);
