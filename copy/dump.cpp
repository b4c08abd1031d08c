#include "copy/dump.h"

#include <cstdlib>

#include "copy/container_writer.h"
#include "copy/copy_context.h"
#include "copy/device_name.h"
#include "copy/dump_read.h"
#include "copy/dump_restore_output.h"
#include "tapeio/tape_io_objects.h"

namespace {

// Opens the drive and gives the handle record its address; INVALID_HANDLE_VALUE once reported.
HANDLE open_tape(char* device_name)
{
    device_name_t device;
    const HANDLE handle = open_device_name(device_name, device_caller_t::dump, device);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    tape_handle.attach(handle);
    tape_handle.path_id = device.bus;
    tape_handle.target_id = device.target;
    tape_handle.lun = 0;
    return handle;
}

// Only a request that could not be made stops the dump; after any other answer the drive is
// read from wherever it stands.
bool rewind_tape()
{
    if (active_tape_io.rewind(&tape_handle, copy_context.buffer, transfer_buffer_size) != -1)
        return true;
    print_error_text("Failed to rewind tape: %s\n", tape_handle.last_error);
    return false;
}

FILE* create_dump_file(const char* file_name)
{
    FILE* stream = fopen(file_name, "wb");
    if (stream == nullptr) {
        print_last_error("Failed to open dump file: %s\n");
        return nullptr;
    }
    copy_context.dump_file_created = true;
    return stream;
}

// A dump file that cannot take the tape's contents ends the process; the partial file stays.
// The tape is left behind the last record read.
[[noreturn]] void dump_file_failed(const char* file_name)
{
    perror(file_name);
    CloseHandle(tape_handle.get_os_handle());
    exit(1);
}

void write_block(container_writer_t& writer, int32_t length, const char* file_name)
{
    const uint32_t size = static_cast<uint32_t>(length);
    if (!container_write_header(writer, size))
        dump_file_failed(file_name);
    const int32_t data_offset = active_tape_io.data_offset(&tape_handle);
    if (size != 0 && !container_write_data(writer, copy_context.buffer + data_offset, size))
        dump_file_failed(file_name);
}

}  // namespace

int dump_tape(char* device_name, char* file_name)
{
    const HANDLE device = open_tape(device_name);
    if (device == INVALID_HANDLE_VALUE)
        return 1;
    if (!rewind_tape()) {
        CloseHandle(device);
        return 1;
    }
    container_writer_t writer;
    writer.stream = create_dump_file(file_name);
    if (writer.stream == nullptr) {
        CloseHandle(device);
        return 1;
    }
    int32_t length;
    while ((length = read_dump_record(writer.bytes_written)) >= 0)
        write_block(writer, length, file_name);
    // Closed before a failure too, so that the front end can delete the file on every platform.
    if (fclose(writer.stream) != 0 && length == dump_end_of_data)
        dump_file_failed(file_name);
    CloseHandle(device);
    return length == dump_end_of_data ? 0 : 1;  // tape left where the reading stopped
}
