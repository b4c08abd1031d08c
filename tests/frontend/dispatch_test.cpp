// The run as the front end drives it, with stand-ins for dump, restore and the buffer's allocation:
// which copy is called with what and the exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "frontend/brx_main.h"
#include "frontend/front_end_state.h"
#include "frontend/usage.h"

#ifndef WINAPI
#define WINAPI  // the system's calling convention exists only on Windows
#endif

namespace {

struct fake_t { int result; bool allocation_fails; std::vector<std::string> calls; } fake;

int fake_dump(char* device_name, char* file_name)
{
    fake.calls.push_back(std::string("dump ") + device_name + " " + file_name);
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
    return fake.allocation_fails ? nullptr : VirtualAlloc(address, size, type, protect);
}

}  // namespace

// The buffer is allocated after the options, good or not, and only when there are two names.
TEST(front_end_run, direction_buffer_and_status)
{
    const std::string a64k = "allocate 65536", wrong = std::string("brx: wrong argument(s) detected\n") + usage_text;
    const std::string no_buffer = "brx: can not allocate buffer\n";
    const struct { std::vector<std::string> arguments; int copy_result; bool allocation_fails; int status;
                   std::vector<std::string> calls; std::string console; } cases[] = {
        {{"\\\\.\\TAPE0", "out.dmp"}, 1, false, 1, {a64k, "dump \\\\.\\TAPE0 out.dmp"}, "BRX:7: from dump\n"},
        {{"in.dmp", "\\\\.\\scsi1:0:4"}, 0, false, 0, {a64k, "restore in.dmp \\\\.\\scsi1:0:4"}, ""},
        {{"in.dmp", "\\\\.\\tape0", "/buffer=2"}, 0, false, 0, {a64k, "allocate 2162688", "restore in.dmp \\\\.\\tape0"}, ""},
        {{"/ignore", "\\\\.\\tape0", "out.dmp"}, 1, false, 1, {a64k, "restore /ignore \\\\.\\tape0"}, ""},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 0, false, 1, {a64k}, wrong},
        {{"\\\\?\\tape0", "out.dmp"}, 0, false, 1, {a64k}, wrong},
        {{"\\\\.\\tape0"}, 0, true, 0, {}, ""},
        {{"\\\\.\\tape0", "out.dmp", "/reads="}, 0, true, 3, {a64k},
         "brx: number of attempts to read the bad block not specifyed\n" + no_buffer},
    };
    for (const auto& c : cases) {
        fake = fake_t{c.copy_result, c.allocation_fails, {}};
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.begin(), "brx");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        testing::internal::CaptureStderr();
        const int status = run_front_end(static_cast<int>(argv.size()), argv.data(),
                                         copy_operations_t{fake_dump, fake_restore, fake_allocate});
        std::string console = testing::internal::GetCapturedStderr();
        std::erase(console, '\r');
        if (front_end.log_stream != nullptr)  // left to the process's exit when there is no buffer
            fclose(front_end.log_stream);
        front_end.log_stream = nullptr;
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(status, c.status) << shown;
        EXPECT_EQ(fake.calls, c.calls) << shown;
        if (c.arguments.size() > 1) {
            EXPECT_EQ(console, c.console) << shown;
        }
    }
}
