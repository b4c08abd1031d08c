// \\.\TapeN and \\.\ScsiN: through BRX_TAPEN / BRX_SCSIN to registered schemes and kernel nodes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "platform/posix/handle_object.h"
#include "tests/support/scripted_device_posix.h"

namespace {

// Sets an environment variable for one test and puts the old state back.
class scoped_env_t {
public:
    scoped_env_t(const char* name, const char* value) : name(name)
    {
        const char* old = std::getenv(name);
        had_value = old != nullptr;
        if (had_value) previous = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~scoped_env_t()
    {
        if (had_value)
            setenv(name, previous.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    bool had_value = false;
    std::string previous;
};

HANDLE open_device(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL, nullptr);
}

// What a device open came to: the handle's code, and the scripted device behind it when one opened.
DWORD open_code(const char* name, posix::scsi_device_t** device = nullptr)
{
    SetLastError(0x5A5A);
    HANDLE handle = open_device(name);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    if (device != nullptr) *device = posix::device_of(handle);
    EXPECT_EQ(GetLastError(), NO_ERROR);
    EXPECT_TRUE(CloseHandle(handle));
    return NO_ERROR;
}

std::string last_opened;  // the whole device string the test opener was given

DWORD short_opener(const char* device_string, std::unique_ptr<posix::scsi_device_t>&)
{
    last_opened = device_string;
    return ERROR_BAD_UNIT;
}

DWORD long_opener(const char* device_string, std::unique_ptr<posix::scsi_device_t>&)
{
    last_opened = device_string;
    return ERROR_NOT_READY;
}

TEST(device_namespace, tape_and_adapter_names_reach_the_configured_devices)
{
    auto tape = std::make_shared<scripted_device_t>();
    auto adapter = std::make_shared<scripted_device_t>();
    register_scripted_device("ns-tape", tape);
    register_scripted_device("ns-adapter", adapter);
    scoped_env_t tape_env("BRX_TAPE0", "script:ns-tape");
    scoped_env_t adapter_env("BRX_SCSI3", "script:ns-adapter");

    for (const char* name : {"\\\\.\\Tape0", "\\\\.\\tape0", "\\\\.\\TAPE0"}) {
        SCOPED_TRACE(name);
        HANDLE handle = open_device(name);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        ASSERT_NE(posix::device_of(handle), nullptr);
        posix::device_of(handle)->execute(posix::scsi_command_t{});
        EXPECT_TRUE(CloseHandle(handle));
    }
    EXPECT_EQ(tape->commands.size(), 3u);

    HANDLE handle = open_device("\\\\.\\Scsi3:");
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    posix::device_of(handle)->execute(posix::scsi_command_t{});
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(adapter->commands.size(), 1u);
    EXPECT_EQ(tape->commands.size(), 3u);
}

TEST(device_namespace, names_outside_the_namespace_and_missing_devices_are_not_found)
{
    scoped_env_t tape_env("BRX_TAPE7", nullptr);
    scoped_env_t empty_env("BRX_TAPE8", "");  // empty counts as unset
    scoped_env_t adapter_env("BRX_SCSI57", nullptr);
    const char* names[] = {
        "\\\\.\\Tape7",    // no /dev/nst7 here
        "\\\\.\\Tape8",    // nor /dev/nst8
        "\\\\.\\Scsi57:",  // no SCSI host 57
        "\\\\.\\Tape",     "\\\\.\\Tape01",      "\\\\.\\Tape1x", "\\\\.\\Tape-1", "\\\\.\\Tape 1",
        "\\\\.\\Tape99999999999", "\\\\.\\Scsi1", "\\\\.\\Scsi1:0", "\\\\.\\Scsi:", "\\\\.\\CdRom0",
        "\\\\.\\",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(open_code(name), ERROR_FILE_NOT_FOUND);
    }
}

TEST(device_namespace, device_strings_pick_their_scheme_or_a_kernel_node)
{
    posix::register_device_scheme("lp:", short_opener);
    posix::register_device_scheme("lp:long:", long_opener);
    const struct {
        const char* value;
        DWORD code;
        const char* opened;  // what the test opener saw, nullptr when it was not called
    } cases[] = {
        {"lp:x", ERROR_BAD_UNIT, "lp:x"},
        {"lp:long:x", ERROR_NOT_READY, "lp:long:x"},  // the longest prefix wins
        {"vtape:/tmp/t.dmp", ERROR_NOT_SUPPORTED, nullptr},
        {"iscsi-x+y.z://host/iqn/0", ERROR_NOT_SUPPORTED, nullptr},
        {"script:nothing-registered-here", ERROR_FILE_NOT_FOUND, nullptr},
        {"/nonexistent/nst0", ERROR_FILE_NOT_FOUND, nullptr},
    };
    register_scripted_device("ns-unused", std::make_shared<scripted_device_t>());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        scoped_env_t env("BRX_TAPE4", c.value);
        last_opened.clear();
        EXPECT_EQ(open_code("\\\\.\\Tape4"), c.code);
        EXPECT_EQ(last_opened, c.opened == nullptr ? "" : c.opened);
    }
    scoped_env_t adapter_env("BRX_SCSI12", "lp:adapter");
    EXPECT_EQ(open_code("\\\\.\\Scsi12:"), ERROR_BAD_UNIT);
    EXPECT_EQ(last_opened, "lp:adapter");
}

TEST(device_namespace, file_calls_on_a_device_handle_are_refused)
{
    register_scripted_device("ns-calls", std::make_shared<scripted_device_t>());
    scoped_env_t env("BRX_TAPE5", "script:ns-calls");
    HANDLE device = open_device("\\\\.\\Tape5");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(device, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(SetEndOfFile(device));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(FlushFileBuffers(device));
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(posix::device_of(device), nullptr);
}

}  // namespace
