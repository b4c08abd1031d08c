// The run as the front end drives it, with stand-ins for dump, restore and the buffer's allocation:
// which copy is called with what, the exit status, and when the dump file goes.
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

#ifndef WINAPI
#define WINAPI  // the system's calling convention exists only on Windows
#endif

namespace {

struct fake_t {
    int result = 0;
    bool create_file = false;  // dump creates its file and says so
    bool allocation_fails = false;
    std::vector<std::string> calls;
    copy_context_t seen;
};
fake_t fake;

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
    return fake.result;
}

LPVOID WINAPI fake_allocate(LPVOID address, SIZE_T size, DWORD type, DWORD protect)
{
    fake.calls.push_back("allocate " + std::to_string(size));
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(type, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(protect, static_cast<DWORD>(PAGE_READWRITE));
    return fake.allocation_fails ? nullptr : VirtualAlloc(address, size, type, protect);
}

std::string strip(std::string text)
{
#ifdef _WIN32
    std::erase(text, '\r');
#endif
    return text;
}

const std::string wrong = std::string("brx: wrong argument(s) detected\n") + usage_text;
const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";
const std::string no_buffer = "brx: can not allocate buffer\n";
const std::string from_dump = "BRX:7: from dump\n";

class front_end_run : public testing::Test {
protected:
    void SetUp() override
    {
        fake = fake_t{};
        directory = std::filesystem::temp_directory_path() / "brx-dispatch-test";
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
        testing::internal::CaptureStderr();
        const int status = run_front_end(static_cast<int>(argv.size()), argv.data(),
                                         copy_operations_t{fake_dump, fake_restore, fake_allocate});
        console = strip(testing::internal::GetCapturedStderr());
        return status;
    }

    std::filesystem::path directory;
    std::string console;
};

}  // namespace

// The buffer is allocated after the options, good or not, and only when there are two names.
TEST_F(front_end_run, direction_buffer_and_status)
{
    const std::string a64k = "allocate 65536";
    const struct {
        std::vector<std::string> arguments;
        int copy_result;
        bool allocation_fails;
        int status;
        std::vector<std::string> calls;
        std::string console;
    } cases[] = {
        {{"\\\\.\\tape0", "out.dmp"}, 0, false, 0, {a64k, "dump \\\\.\\tape0 out.dmp"}, from_dump},
        {{"\\\\.\\TAPE0", "out.dmp"}, 1, false, 1, {a64k, "dump \\\\.\\TAPE0 out.dmp"}, from_dump},
        {{"in.dmp", "\\\\.\\scsi1:0:4"}, 0, false, 0, {a64k, "restore in.dmp \\\\.\\scsi1:0:4"}, ""},
        {{"in.dmp", "\\\\.\\cdrom0"}, 1, false, 1, {a64k, "restore in.dmp \\\\.\\cdrom0"}, ""},
        {{"/ignore", "\\\\.\\tape0", "out.dmp"}, 1, false, 1, {a64k, "restore /ignore \\\\.\\tape0"}, ""},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 0, false, 1, {a64k}, wrong},
        {{"\\\\?\\tape0", "out.dmp"}, 0, false, 1, {a64k}, wrong},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, 0, false, 1, {a64k}, no_reads + wrong},
        {{"\\\\.\\tape0"}, 0, true, 0, {}, ""},
        {{"\\\\.\\tape0", "out.dmp"}, 0, true, 3, {a64k}, no_buffer},
        {{"a", "b"}, 0, true, 3, {a64k}, no_buffer},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, 0, true, 3, {a64k}, no_reads + no_buffer},
    };
    for (const auto& c : cases) {
        fake = fake_t{};
        fake.result = c.copy_result;
        fake.allocation_fails = c.allocation_fails;
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(run(c.arguments), c.status) << shown;
        EXPECT_EQ(fake.calls, c.calls) << shown;
        if (c.arguments.size() > 1) {
            EXPECT_EQ(console, c.console) << shown;
        }
        if (front_end.log_stream != nullptr)  // left to the process's exit when there is no buffer
            fclose(front_end.log_stream);
        front_end.log_stream = nullptr;
    }
}

TEST_F(front_end_run, copy_context_carries_the_options_buffer_and_services)
{
    EXPECT_EQ(run({"\\\\.\\tape0", path("out.dmp"), "/reads=3", "/log=" + path("Run.Log")}), 0);
    ASSERT_EQ(fake.calls.size(), 2u);
    EXPECT_EQ(fake.seen.bad_block_reads, 3);
    EXPECT_NE(fake.seen.log_stream, nullptr);
    EXPECT_EQ(fake.seen.report, &report);
    EXPECT_NE(fake.seen.system_error_text, nullptr);
    EXPECT_FALSE(fake.seen.dump_file_created);
    ASSERT_NE(fake.seen.buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(fake.seen.buffer) % 4096, 0u);
    // The log was closed: what dump reported is in it, in full, under the lower-cased name.
    EXPECT_EQ(front_end.log_stream, nullptr);
    EXPECT_EQ(console, from_dump);
    std::ifstream in(directory / "run.log");
    EXPECT_EQ(strip(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())), from_dump);
}

TEST_F(front_end_run, a_failed_dump_loses_its_file_only_when_it_made_it_and_ignore_is_off)
{
    const struct {
        bool dump;
        int result;
        bool created, ignore, kept;
    } cases[] = {
        {true, 1, true, false, false},
        {true, 1, true, true, true},
        {true, 1, false, false, true},  // failed before the file was made: an earlier one stays
        {true, 0, true, false, true},
        {false, 1, false, false, true},  // a failed restore deletes nothing
    };
    for (const auto& c : cases) {
        const std::string file = path("out.dmp");
        std::ofstream(file) << "from an earlier run";
        fake = fake_t{};
        fake.result = c.result;
        fake.create_file = c.created;
        std::vector<std::string> arguments = {"\\\\.\\tape0", file};
        if (!c.dump)
            std::swap(arguments[0], arguments[1]);
        if (c.ignore)
            arguments.push_back("/IGNORE");
        const std::string shown = testing::PrintToString(arguments);
        EXPECT_EQ(run(arguments), c.result) << shown;
        EXPECT_EQ(std::filesystem::exists(file), c.kept) << shown;
    }
}
