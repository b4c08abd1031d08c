// Dump's reading of a drive is an object of its own: two drives read at the same time in two
// threads, each with its options, its walk and its messages, give exactly what each gives alone.
#include <gtest/gtest.h>

#include <thread>

#include "copy/dump_read.h"
#include "platform/device_paths.h"
#include "platform/system_error_text.h"
#include "tapeio/tape_io_objects.h"
#include "tests/support/e2e.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/support/spawn_posix.h"

namespace {

// results: read_dump_record's, up to the first that ends the reading
struct drive_run_t { std::string device; rescue_options_t options; std::vector<int32_t> results;
                     std::string console, log; dump_walk_t walk; };

void read_drive(drive_run_t& run)
{
    tape_io_handle_t handle;
    handle.attach(open_named_device(run.device.c_str()));
    std::vector<uint8_t> buffer(65536);
    dump_reader_t reader{&s2pti_tape_io, &handle, buffer.data(), 65536, run.options,
                         {tmpfile(), tmpfile(), nullptr, system_error_text, nullptr}, {}, 0};
    start_dump_reading(reader);
    for (uint64_t offset = 0; run.results.empty() || run.results.back() >= 0 || run.results.back() == dump_record_skipped;) {
        run.results.push_back(read_dump_record(reader, offset));
        offset += run.results.back() >= 0 ? 8 + static_cast<uint64_t>(run.results.back()) : 0;
    }
    CloseHandle(handle.get_os_handle());
    run.console = contents_of(reader.messages.console);
    run.log = contents_of(reader.messages.log);
    run.walk = reader.walk;
}

}  // namespace

TEST(dump_reader, two_drives_read_at_once_keep_their_state_and_messages_apart)
{
    register_test_device_schemes();
    scratch_directory_t directory;
    for (const char* medium : {"a.dmp", "b.dmp"})
        directory.write(medium, container_of({record_of(100, 1), record_of(200, 2), "", record_of(300, 3)}));
    const std::string slow = "&delay=2000", retried = "TAPE BAD BLOCK detected (offset 108 bytes), trying to recover...\n";
    const std::string skipped = "Skipped unreadable block 1 (file 0, record 2); dump file offset 108, sense 03/11/00\n";
    drive_run_t runs[2] = {
        {"vtape:" + directory.file("a.dmp") + "?bad=1:1" + slow, {1, 0, false}, {}, "", "", {}},
        {"vtape:" + directory.file("b.dmp") + "?bad=1" + slow, {0, 0, true}, {}, "", "", {}},
    };
    std::thread other(read_drive, std::ref(runs[1]));
    read_drive(runs[0]);
    other.join();
    EXPECT_EQ(runs[0].results, std::vector<int32_t>({100, 200, 0, 300, dump_end_of_data}));
    EXPECT_EQ(runs[0].console, retried);
    EXPECT_EQ(runs[0].log, retried);
    EXPECT_EQ(runs[0].walk.file, 1u);
    EXPECT_EQ(runs[1].results, std::vector<int32_t>({100, dump_record_skipped, 0, 300, dump_end_of_data}));
    EXPECT_EQ(runs[1].console, skipped);
    EXPECT_EQ(runs[1].log, skipped);
    EXPECT_EQ(runs[1].walk.skipped, 1u);
    EXPECT_EQ(runs[1].walk.last_skipped.block, 1u);
}
