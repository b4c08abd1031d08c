#include "brxtool/tape.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "brxtool/arguments.h"
#include "brxtool/detect.h"
#include "brxtool/progress.h"
#include "brxtool/read_ahead.h"
#include "copy/copy_context.h"
#include "copy/device_name.h"
#include "copy/dump_read.h"
#include "platform/device_paths.h"
#include "platform/system_error_text.h"
#include "tapeio/scsi_codes.h"

namespace {

constexpr uint32_t buffer_size = data_at + record_room + 16;

// The size a read may use behind the driver's own bytes; a device asks READ(6) for record_room.
uint32_t read_size(const tape_t& tape, uint32_t offset)
{
    return offset + record_room + (tape.format == format_t::device ? 0 : 8);
}

uint32_t offset_of(tape_t& tape) { return static_cast<uint32_t>(tape.driver->data_offset(&tape.handle)); }

bool allocate(tape_t& tape)
{
    void* memory = VirtualAlloc(nullptr, buffer_size, MEM_COMMIT, PAGE_READWRITE);
    if (memory == nullptr) {
        fprintf(stderr, "brxtool: no memory for a buffer of %u bytes\n", buffer_size);
        return false;
    }
    tape.memory = static_cast<uint8_t*>(memory);
    return true;
}

// A device string (not \\.\TapeN or \\.\ScsiN:B:T) is one drive: its SCSI address is 0:0:0.
HANDLE open_device_string(const std::string& name)
{
    HANDLE os = open_named_device(name.c_str());
    if (os == INVALID_HANDLE_VALUE)
        fprintf(stderr, "brxtool: %s: %s\n", name.c_str(), error_text(GetLastError()).c_str());
    return os;
}

bool open_device(const std::string& name, tape_t& tape)
{
    std::vector<char> lowered(name.begin(), name.end());
    lowered.push_back('\0');
    device_name_t device;
    copy_context.buffer = tape.memory;  // scratch for the device path
    copy_context.system_error_text = system_error_text;
    HANDLE os = name.rfind("\\\\.\\", 0) != 0 ? open_device_string(name)
                                            : open_device_name(lowered.data(), device_caller_t::dump, device);
    if (os == INVALID_HANDLE_VALUE)
        return false;
    tape.handle.attach(os);
    tape.handle.path_id = device.bus;
    tape.handle.target_id = device.target;
    tape.handle.lun = 0;
    tape.handle.largest_buffer = read_size(tape, offset_of(tape));
    // As dump: only a request that could not be made stops here.
    if (tape.driver->rewind(&tape.handle, tape.memory, transfer_buffer_size) == -1) {
        report_tape_failure(tape, "cannot rewind");
        return false;
    }
    return true;
}

bool open_file(const std::string& name, DWORD access, DWORD disposition, tape_t& tape)
{
    tape.standard = is_standard_stream(name);
    HANDLE os = tape.standard ? GetStdHandle((access & GENERIC_WRITE) != 0 ? STD_OUTPUT_HANDLE : STD_INPUT_HANDLE)
                              : CreateFileA(name.c_str(), access, access == GENERIC_READ ? FILE_SHARE_READ : 0,
                                            nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (os == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "brxtool: %s: %s\n", name.c_str(), error_text(GetLastError()).c_str());
        return false;
    }
    tape.handle.attach(os);
    if (!image_buffer(&tape.handle, image_buffer_default)) {
        fprintf(stderr, "brxtool: no memory for a buffer of %u bytes\n", image_buffer_default);
        return false;
    }
    image_size(&tape.handle, &tape.file_size);
    return true;
}

bool set_up(tape_t& tape)
{
    if (tape.driver->setup(&tape.handle, tape.memory, buffer_size) == 1)
        return true;
    report_tape_failure(tape, "cannot rewind");
    return false;
}

// The SCSI driver's read failures that carry no system code, with the drive's sense.
std::string drive_failure(const tape_t& tape)
{
    if (tape.format != format_t::device)
        return "the driver answered " + std::to_string(tape.last_result);
    const dump_sense_t sense = sense_of_last_request(tape.memory);
    char code[16];
    snprintf(code, sizeof code, "%02X/%02X/%02X", sense.key, sense.asc, sense.ascq);
    switch (tape.last_result) {
    case -1:
        return "the drive reached the end of the medium (sense " + std::string(code) + ")";
    case -4:
        return "the drive answered with a bad status";
    case -5:
        return "the drive's sense data was not usable";
    case -6:
    case -7:
        return "the drive delivered no record (sense " + std::string(code) + ")";
    case -8:
        return "the drive reported a medium error (sense " + std::string(code) + ")";
    case -9:
        return "the drive answered " + std::string(code) + " before the end of its data";
    default:
        return "the driver answered " + std::to_string(tape.last_result);
    }
}

// Reading a device ends well only at the drive's end of data; not ready, unit attention and the
// like are trouble, not an empty tape.
bool device_ended(tape_t& tape, int32_t result)
{
    return result == -9 && sense_of_last_request(tape.memory).key == sense_key::blank_check;
}

// Where an image's reading stopped at the end of its data: the file's end, a fragment too short
// for a block (a stray tail, noted), or in SIMH images an end-of-medium word. false: damage.
bool image_end(tape_t& tape)
{
    uint64_t size = 0;
    uint64_t position = tape.handle.position;
    uint64_t rest = image_size(&tape.handle, &size) && size > position ? size - position : 0;
    bool simh = tape.format == format_t::tap || tape.format == format_t::e11;
    if (rest >= format_info(tape.format).unit) {
        if (simh)
            return true;
        tape.handle.last_error = ERROR_INVALID_DATA;
        return false;
    }
    tape.stray = rest;
    return true;
}

}  // namespace

tape_t::tape_t() = default;
tape_t::~tape_t() { close_tape(*this); }

bool is_device_name(const std::string& name) { return names_device(name.c_str()); }

bool is_standard_stream(const std::string& name) { return name == "-"; }

bool open_tape(const std::string& name, format_t from, tape_t& tape, format_t fallback)
{
    tape.name = name;
    if (!allocate(tape))
        return false;
    if (is_device_name(name)) {
        tape.format = format_t::device;
        tape.driver = &format_driver(tape.format);
        return open_device(name, tape);
    }
    if (!open_file(name, GENERIC_READ, OPEN_EXISTING, tape))
        return false;
    tape.format = from != format_t::unknown ? from : detect_format(tape);
    if (tape.format == format_t::unknown && fallback != format_t::unknown) {
        tape.format = fallback;
        fprintf(stderr, "brxtool: %s: the content fits no format; read as %s, from its name\n", name.c_str(),
                format_info(fallback).name);
    }
    if (tape.format == format_t::unknown) {
        fprintf(stderr,
                "brxtool: %s: the content fits none of the formats brx, tap, e11, aws, het (--from FORMAT reads it as one)\n",
                name.c_str());
        return false;
    }
    tape.driver = &format_driver(tape.format);
    return set_up(tape);
}

bool create_tape(const std::string& name, format_t format, tape_t& tape)
{
    tape.name = name;
    tape.format = format;
    tape.driver = &format_driver(format);
    return allocate(tape) && open_file(name, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, tape) && set_up(tape);
}

block_t read_block(tape_t& tape, bool long_records, uint32_t wanted)
{
    uint32_t offset = offset_of(tape);
    block_t block;
    block.offset = tape.handle.position;
    block.data = tape.memory + data_at;
    bool device = tape.format == format_t::device;
    uint32_t size = device ? read_size(tape, offset) : offset + std::min(wanted, record_room) + 8;
    int32_t result = tape.ahead ? take_read_ahead(tape, block.data)
                                : tape.driver->read_forward(&tape.handle, block.data - offset, size);
    tape.last_result = result;
    if (result < 0) {
        bool end = device ? device_ended(tape, result) : result == -2 && tape.handle.last_error == 0;
        if (!device && !end && tape.handle.last_error == 0)
            tape.handle.last_error = ERROR_INVALID_DATA;  // a block cut off by the end of the file
        if (!device && end)
            end = image_end(tape);
        block.kind = end ? block_kind_t::end : block_kind_t::failed;
        if (!end)
            report_tape_failure(tape, "cannot read the block after " + where(tape));
        return block;
    }
    block.length = static_cast<uint32_t>(result);
    block.bad = !device && tape.handle.bad_record;
    if (result == 0 && !block.bad) {
        block.kind = block_kind_t::mark;
        ++tape.marks;
        ++tape.file;
        tape.record = 0;
        return block;
    }
    block.kind = block_kind_t::record;
    ++tape.record;
    if (block.length > record_room && !long_records) {
        fprintf(stderr, "brxtool: %s: %s: a record of %u bytes is longer than the %u bytes brxtool carries\n",
                tape.name.c_str(), where(tape).c_str(), block.length, record_room);
        tape.handle.last_error = ERROR_INVALID_PARAMETER;
        block.kind = block_kind_t::failed;
        return block;
    }
    ++tape.records;
    tape.bytes += block.length;
    tape.bad += block.bad ? 1 : 0;
    return block;
}

bool write_record(tape_t& tape, uint8_t* data, uint32_t length, bool bad)
{
    tape.handle.bad_record = bad;
    int32_t result = tape.driver->write_record(&tape.handle, data - offset_of(tape), length);
    tape.handle.bad_record = false;
    if (result != static_cast<int32_t>(length)) {
        report_tape_failure(tape, "cannot write a record of " + std::to_string(length) + " bytes");
        return false;
    }
    ++tape.record;
    ++tape.records;
    tape.bytes += length;
    tape.bad += bad ? 1 : 0;
    return true;
}

bool write_mark(tape_t& tape)
{
    if (tape.driver->write_tape_mark(&tape.handle, tape.memory, buffer_size) != 0) {
        report_tape_failure(tape, "cannot write a tape mark");
        return false;
    }
    ++tape.marks;
    ++tape.file;
    tape.record = 0;
    return true;
}

bool finish_tape(tape_t& tape)
{
    if (tape.driver->erase(&tape.handle, tape.memory, buffer_size) != 0 || image_flush(&tape.handle) != 0) {
        report_tape_failure(tape, "cannot end the image");
        return false;
    }
    return true;
}

void close_tape(tape_t& tape)
{
    stop_read_ahead(tape);
    if (tape.handle.os_handle != INVALID_HANDLE_VALUE) {
        if (tape.format != format_t::device)
            image_flush(&tape.handle);
        if (!tape.standard)
            CloseHandle(tape.handle.os_handle);
    }
    tape.handle.os_handle = INVALID_HANDLE_VALUE;
    if (tape.memory != nullptr)
        VirtualFree(tape.memory, 0, MEM_RELEASE);
    tape.memory = nullptr;
}

std::string stray_note(const tape_t& tape)
{
    if (tape.stray == 0)
        return "";
    return tape.name + ": " + std::to_string(tape.stray) + " stray byte" + (tape.stray == 1 ? "" : "s") +
           " after the last whole block, read as the end of the tape";
}

std::string where(const tape_t& tape)
{
    return "file " + std::to_string(tape.file) + ", record " + std::to_string(tape.record);
}

std::string failure_reason(const tape_t& tape)
{
    switch (tape.handle.last_error) {
    case NO_ERROR:  // a drive's failure carries its sense, not a system code
        return drive_failure(tape);
    case ERROR_INVALID_DATA:
        return "damaged image at offset " + std::to_string(tape.handle.position);
    case ERROR_SEEK_ON_DEVICE:
        return "this needs to go back in the image, which a pipe cannot: read it from a file";
    default:
        return tape.handle.last_error == ERROR_NOT_SUPPORTED && tape.format == format_t::het
                   ? "this build reads no bzip2-compressed chunks"
                   : error_text(tape.handle.last_error);
    }
}

void report_tape_failure(const tape_t& tape, const std::string& what)
{
    clear_progress_line();
    fprintf(stderr, "brxtool: %s: %s: %s\n", tape.name.c_str(), what.c_str(), failure_reason(tape).c_str());
}

int failure_status(const tape_t& tape) { return tape.handle.last_error == ERROR_INVALID_DATA ? exit_different : exit_trouble; }

std::string error_text(DWORD code)
{
    std::string text = system_error_text(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}
