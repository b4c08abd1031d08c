// The run as the front end drives it, with stand-ins for dump and restore: which one is called
// with what, what they find in the copy context, the exit status, and when the dump file goes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "frontend/brx_main.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/usage.h"

namespace {

struct fake_copy_t {
    int result = 0;
    bool create_file = false;  // dump creates its file and says so
    std::vector<std::string> calls;
    copy_context_t seen;
};
fake_copy_t fake;

int fake_dump(char* device_name, char* file_name)
{
    fake.calls.push_back(std::string("dump ") + device_name + " " + file_name);
    fake.seen = copy_context;
    if (fake.create_file) {
        std::ofstream(file_name) << "partial";
        copy_context.dump_file_created = true;
    }
    copy_context.report("BRX:%d: %s\n", 7, "from dump");
    return fake.result;
}

int fake_restore(char* file_name, char* device_name)
{
    fake.calls.push_back(std::string("restore ") + file_name + " " + device_name);
    fake.seen = copy_context;
    return fake.result;
}

std::string strip(std::string text)
{
#ifdef _WIN32
    std::erase(text, '\r');
#endif
    return text;
}

class front_end_run : public testing::Test {
protected:
    void SetUp() override
    {
        fake = fake_copy_t{};
        directory = std::filesystem::temp_directory_path() /
                    (std::string("brx-dispatch-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string path(const char* name) const { return (directory / name).string(); }

    int run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "brx");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        const int status = run_front_end(static_cast<int>(arguments.size()), argv.data(),
                                         copy_operations_t{fake_dump, fake_restore});
        console = strip(testing::internal::GetCapturedStderr());
        return status;
    }

    std::filesystem::path directory;
    std::string console;
};

}  // namespace

TEST_F(front_end_run, direction_follows_the_device_prefix)
{
    const struct {
        std::vector<std::string> arguments;
        int copy_result;
        int status;
        std::vector<std::string> calls;
    } cases[] = {
        {{"\\\\.\\tape0", "out.dmp"}, 0, 0, {"dump \\\\.\\tape0 out.dmp"}},
        {{"\\\\.\\TAPE0", "out.dmp"}, 1, 1, {"dump \\\\.\\TAPE0 out.dmp"}},
        {{"in.dmp", "\\\\.\\scsi1:0:4"}, 0, 0, {"restore in.dmp \\\\.\\scsi1:0:4"}},
        {{"in.dmp", "\\\\.\\cdrom0"}, 1, 1, {"restore in.dmp \\\\.\\cdrom0"}},
        {{"/ignore", "\\\\.\\tape0", "out.dmp"}, 1, 1, {"restore /ignore \\\\.\\tape0"}},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 0, 1, {}},
        {{"a", "b"}, 0, 1, {}},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, 0, 1, {}},
    };
    for (const auto& c : cases) {
        fake = fake_copy_t{};
        fake.result = c.copy_result;
        const int status = run(c.arguments);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(status, c.status) << shown;
        EXPECT_EQ(fake.calls, c.calls) << shown;
        if (c.calls.empty()) {
            EXPECT_NE(console.find(std::string("brx: wrong argument(s) detected\n") + usage_text), std::string::npos)
                << shown;
        }
    }
}

TEST_F(front_end_run, copy_context_carries_the_options_buffer_and_services)
{
    const std::string log = path("Run.Log");
    EXPECT_EQ(run({"\\\\.\\tape0", path("out.dmp"), "/reads=3", "/log=" + log}), 0);
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.seen.bad_block_reads, 3);
    EXPECT_NE(fake.seen.log_stream, nullptr);
    EXPECT_EQ(fake.seen.report, &report);
    EXPECT_NE(fake.seen.system_error_text, nullptr);
    EXPECT_FALSE(fake.seen.dump_file_created);
    ASSERT_NE(fake.seen.buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(fake.seen.buffer) % 4096, 0u);
    // The log was closed and released: what dump reported is in it, in full.
    EXPECT_EQ(front_end.log_stream, nullptr);
    EXPECT_EQ(console, "BRX:7: from dump\n");
    std::ifstream in(std::filesystem::path(directory) / "run.log");  // the name was lower-cased
    std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(strip(logged), "BRX:7: from dump\n");
}

TEST_F(front_end_run, a_failed_dump_loses_its_file_only_when_it_made_it_and_ignore_is_off)
{
    const struct {
        const char* what;
        int result;
        bool created;
        bool ignore;
        bool kept;
    } cases[] = {
        {"failed read", 1, true, false, false},
        {"failed read with /ignore", 1, true, true, true},
        {"failed before the file was made", 1, false, false, true},
        {"success", 0, true, false, true},
    };
    for (const auto& c : cases) {
        const std::string file = path("out.dmp");
        std::ofstream(file) << "from an earlier run";
        fake = fake_copy_t{};
        fake.result = c.result;
        fake.create_file = c.created;
        std::vector<std::string> arguments = {"\\\\.\\tape0", file};
        if (c.ignore)
            arguments.push_back("/IGNORE");
        EXPECT_EQ(run(arguments), c.result) << c.what;
        EXPECT_EQ(std::filesystem::exists(file), c.kept) << c.what;
    }
}

TEST_F(front_end_run, a_failed_restore_deletes_nothing)
{
    const std::string file = path("in.dmp");
    std::ofstream(file) << "data";
    fake.result = 1;
    EXPECT_EQ(run({file, "\\\\.\\tape0"}), 1);
    EXPECT_TRUE(std::filesystem::exists(file));
}

#ifndef WINAPI
#define WINAPI  // the system's calling convention exists only on Windows
#endif

namespace {

struct allocation_t {
    LPVOID address;
    SIZE_T size;
    DWORD type, protect;
};
std::vector<allocation_t> allocations;
bool allocation_fails = false;

LPVOID WINAPI recording_allocate(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    allocations.push_back({address, size, type, protect});
    return allocation_fails ? nullptr : VirtualAlloc(address, size, type, protect);
}

}  // namespace

// The buffer is allocated after the options, whether or not they were good, and only when there
// are two names; without it the run ends with 3 and the log is left to the process's exit.
TEST_F(front_end_run, the_buffer_comes_after_the_options_and_its_failure_ends_the_run_with_3)
{
    const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";
    const std::string no_buffer = "brx: can not allocate buffer\n";
    const std::string wrong = std::string("brx: wrong argument(s) detected\n") + usage_text;
    const std::string banner =
        std::string("\nbrx 1.2 - tape dump and restore utility\n\nWritten by the brx developers\n\n") + usage_text;
    const struct {
        std::vector<std::string> arguments;
        bool fails;
        int status;
        size_t allocations;
        std::string console;
        size_t copies;
    } cases[] = {
        {{"\\\\.\\tape0"}, true, 0, 0, banner, 0},
        {{"\\\\.\\tape0", "out.dmp"}, false, 0, 1, "BRX:7: from dump\n", 1},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, false, 1, 1, no_reads + wrong, 0},
        {{"\\\\.\\tape0", "out.dmp"}, true, 3, 1, no_buffer, 0},
        {{"a", "b"}, true, 3, 1, no_buffer, 0},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, true, 3, 1, no_reads + no_buffer, 0},
    };
    for (const auto& c : cases) {
        fake = fake_copy_t{};
        allocations.clear();
        allocation_fails = c.fails;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.begin(), "brx");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        testing::internal::CaptureStderr();
        const int status = run_front_end(static_cast<int>(argv.size()), argv.data(),
                                         copy_operations_t{fake_dump, fake_restore, recording_allocate});
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(strip(testing::internal::GetCapturedStderr()), c.console) << shown;
        EXPECT_EQ(status, c.status) << shown;
        EXPECT_EQ(fake.calls.size(), c.copies) << shown;
        ASSERT_EQ(allocations.size(), c.allocations) << shown;
        if (c.allocations == 0)
            continue;
        EXPECT_EQ(allocations[0].address, nullptr) << shown;
        EXPECT_EQ(allocations[0].size, 65536u) << shown;
        EXPECT_EQ(allocations[0].type, static_cast<DWORD>(MEM_COMMIT)) << shown;
        EXPECT_EQ(allocations[0].protect, static_cast<DWORD>(PAGE_READWRITE)) << shown;
    }
}

TEST_F(front_end_run, without_a_buffer_the_log_is_left_open_for_the_process_exit)
{
    allocation_fails = true;
    std::vector<std::string> arguments = {"brx", "\\\\.\\tape0", "out.dmp", "/log=" + path("run.log")};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_front_end(4, argv.data(), copy_operations_t{fake_dump, fake_restore, recording_allocate}), 3);
    EXPECT_EQ(strip(testing::internal::GetCapturedStderr()), "brx: can not allocate buffer\n");
    ASSERT_NE(front_end.log_stream, nullptr);
    EXPECT_EQ(fclose(front_end.log_stream), 0);
    front_end.log_stream = nullptr;
    EXPECT_TRUE(std::filesystem::exists(path("run.log")));
}
