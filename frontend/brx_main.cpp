#include "frontend/brx_main.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "copy/copy_context.h"
#include "copy/created_file.h"
#include "copy/dump.h"
#include "copy/manifest.h"
#include "copy/progress.h"
#include "copy/restore.h"
#include "frontend/front_end_state.h"
#include "frontend/options.h"
#include "frontend/report.h"
#include "frontend/usage.h"
#include "platform/platform.h"
#include "platform/system_error_text.h"

bool is_device_path(const char* argument)
{
    return strncmp(argument, "\\\\.\\", 4) == 0;
}

static void hand_over_to_copy()
{
    copy_context.log_stream = front_end.log_stream;
    copy_context.log_name = front_end.log_name;
    copy_context.bad_block_reads = front_end.bad_block_reads;
    copy_context.buffer = front_end.buffer;
    copy_context.report = report;
    copy_context.system_error_text = system_error_text;
    copy_context.dump_file_created = false;
    copy_context.dump_file_kept = false;
    copy_context.bad_list_created.clear();
    copy_context.buffer_size = transfer_buffer_for(front_end.longest_record);
    copy_context.longest_record = front_end.longest_record;  // the buffer grows only beyond the classic one
    copy_context.skip = front_end.skip;
    copy_context.bad_list = front_end.bad_list;
    copy_context.strict = front_end.strict;
    copy_context.progress = front_end.progress;
    copy_context.manifest = front_end.manifest;
    copy_context.ring_size = front_end.ring != nullptr ? uint64_t{front_end.ring_mib} << 20 : 0;
    copy_context.ring = front_end.ring;
}

// "/buffer=": the ring, and room for one transfer buffer more; null when it cannot be had.
static uint8_t* allocate_ring(const copy_operations_t& operations)
{
    const uint64_t bytes = (uint64_t{front_end.ring_mib} << 20) + transfer_buffer_for(front_end.longest_record);
    if (bytes > SIZE_MAX)
        return nullptr;
    return static_cast<uint8_t*>(operations.allocate(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT, PAGE_READWRITE));
}

static int dump(char* device_name, char* file_name, const copy_operations_t& operations)
{
    const int result = operations.dump(device_name, file_name);
    // Only a failed read comes after dump created the file; a file from an earlier run that
    // this run never reached is left alone. Records rescued past unreadable ones are kept, and a
    // list of skipped records goes with its dump file.
    if (result == 1 && front_end.ignore == 0 && copy_context.dump_file_created && !copy_context.dump_file_kept) {
        remove_created_file(file_name);
        if (!copy_context.bad_list_created.empty())
            remove_created_file(copy_context.bad_list_created.c_str());
    }
    return result;
}

static int dispatch(char* first, char* second, const copy_operations_t& operations)
{
    const bool first_is_device = is_device_path(first);
    const bool second_is_device = is_device_path(second);
    if (first_is_device && !second_is_device)
        return dump(first, second, operations);
    if (!first_is_device && second_is_device)
        return operations.restore(first, second);
    print_wrong_arguments();
    return 1;
}

int run_front_end(int argc, char** argv, const copy_operations_t& operations)
{
    front_end = front_end_state_t{};  // a fresh start for every run in the same process
    if (argc < 3) {
        print_banner();
        return 0;
    }
    copy_context.command_line.assign(argv, argv + argc);  // as typed, for "/manifest"
    copy_context.started = manifest_clock();
    const bool options_valid = parse_options(argc, argv, front_end);
    void* memory = operations.allocate(nullptr, transfer_buffer_for(front_end.longest_record), MEM_COMMIT, PAGE_READWRITE);
    if (memory != nullptr && front_end.ring_mib != 0 && (front_end.ring = allocate_ring(operations)) == nullptr) {
        VirtualFree(memory, 0, MEM_RELEASE);
        memory = nullptr;
    }
    if (memory == nullptr) {
        fprintf(stderr, "brx: can not allocate buffer\n");
        return 3;  // the runtime closes the log at exit
    }
    front_end.buffer_base = front_end.buffer = static_cast<uint8_t*>(memory);
    hand_over_to_copy();
    // Before the first command: a request for a status line must never end the run.
    if (copy_context.progress && progress_request.begin != nullptr)
        progress_request.begin();
    int result = 1;
    if (options_valid)
        result = dispatch(argv[1], argv[2], operations);
    else
        print_wrong_arguments();
    if (front_end.log_stream != nullptr)
        fclose(front_end.log_stream);
    front_end.log_stream = copy_context.log_stream = nullptr;
    front_end.log_name = copy_context.log_name = nullptr;
    VirtualFree(front_end.buffer_base, 0, MEM_RELEASE);
    front_end.buffer_base = front_end.buffer = copy_context.buffer = nullptr;
    if (front_end.ring != nullptr)
        VirtualFree(front_end.ring, 0, MEM_RELEASE);
    front_end.ring = copy_context.ring = nullptr;
    copy_context.ring_size = 0;
    return result;
}

int brx_main(int argc, char** argv)
{
    return run_front_end(argc, argv, copy_operations_t{dump_tape, restore_tape});
}
