// \\.\TapeN and \\.\ScsiN: through BRX_TAPEN / BRX_SCSIN to registered schemes and kernel nodes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "platform/posix/handle_object.h"
#include "tests/support/scripted_device_posix.h"

namespace {

std::string last_opened;  // the whole device string a test scheme was given

// A scheme that notes the device string and fails with its own code, so that each row shows which one ran.
template <DWORD code>
DWORD test_scheme(const char* device_string, std::unique_ptr<posix::scsi_device_t>&)
{
    last_opened = device_string;
    return code;
}

// Opens name as the drivers do, runs one command on what opened; the code of the open.
DWORD open_code(const char* name)
{
    SetLastError(0x5A5A);
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    posix::scsi_device_t* device = posix::device_of(handle);
    EXPECT_NE(device, nullptr);
    if (device != nullptr) device->execute(posix::scsi_command_t{});
    EXPECT_EQ(GetLastError(), NO_ERROR);
    EXPECT_TRUE(CloseHandle(handle));
    return NO_ERROR;
}

TEST(device_namespace, names_reach_the_device_their_variable_names_or_are_not_found)
{
    auto tape = std::make_shared<scripted_device_t>();
    auto adapter = std::make_shared<scripted_device_t>();
    register_scripted_device("ns-tape", tape);
    register_scripted_device("ns-adapter", adapter);
    setenv("BRX_TAPE0", "script:ns-tape", 1);
    setenv("BRX_SCSI3", "script:ns-adapter", 1);
    unsetenv("BRX_TAPE7");
    setenv("BRX_TAPE8", "", 1);  // empty counts as unset
    unsetenv("BRX_SCSI57");
    for (const char* name : {"\\\\.\\Tape0", "\\\\.\\tape0", "\\\\.\\TAPE0"}) {
        EXPECT_EQ(open_code(name), NO_ERROR) << name;
    }
    EXPECT_EQ(open_code("\\\\.\\Scsi3:"), NO_ERROR);
    EXPECT_EQ(tape->commands.size(), 3u);
    EXPECT_EQ(adapter->commands.size(), 1u);
    for (const char* name : {"\\\\.\\Tape7", "\\\\.\\Tape8", "\\\\.\\Scsi57:", "\\\\.\\Tape01", "\\\\.\\Tape1x",
                             "\\\\.\\Tape-1", "\\\\.\\Tape99999999999", "\\\\.\\Scsi1", "\\\\.\\Scsi1:0", "\\\\.\\"}) {
        EXPECT_EQ(open_code(name), ERROR_FILE_NOT_FOUND) << name;  // no /dev/nst7, /dev/nst8, host 57
    }
}

TEST(device_namespace, device_strings_pick_their_scheme_or_a_kernel_node)
{
    posix::register_device_scheme("lp:", test_scheme<ERROR_BAD_UNIT>);
    posix::register_device_scheme("lp:long:", test_scheme<ERROR_NOT_READY>);
    register_scripted_device("ns-other", std::make_shared<scripted_device_t>());  // "script:" known, this name not
    const struct { const char* variable; const char* value; DWORD code; const char* opened; } cases[] = {
        {"BRX_TAPE4", "lp:x", ERROR_BAD_UNIT, "lp:x"},
        {"BRX_TAPE4", "lp:long:x", ERROR_NOT_READY, "lp:long:x"},  // the longest prefix wins
        {"BRX_SCSI12", "lp:adapter", ERROR_BAD_UNIT, "lp:adapter"},
        {"BRX_TAPE4", "vtape:/tmp/t.dmp", ERROR_NOT_SUPPORTED, ""},
        {"BRX_TAPE4", "script:nothing-registered-here", ERROR_FILE_NOT_FOUND, ""},
        {"BRX_TAPE4", "/nonexistent/nst0", ERROR_FILE_NOT_FOUND, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        setenv(c.variable, c.value, 1);
        last_opened.clear();
        EXPECT_EQ(open_code(std::string(c.variable) == "BRX_TAPE4" ? "\\\\.\\Tape4" : "\\\\.\\Scsi12:"), c.code);
        EXPECT_EQ(last_opened, c.opened);
    }
}

TEST(device_namespace, file_calls_on_a_device_handle_are_refused)
{
    register_scripted_device("ns-calls", std::make_shared<scripted_device_t>());
    setenv("BRX_TAPE5", "script:ns-calls", 1);
    HANDLE device = CreateFileA("\\\\.\\Tape5", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(device, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(SetEndOfFile(device));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(posix::device_of(device), nullptr);
}

}  // namespace
