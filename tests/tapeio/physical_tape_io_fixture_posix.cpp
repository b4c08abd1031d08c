#include "tests/tapeio/physical_tape_io_fixture_posix.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tapeio/brx_file_tape_io.h"
#include "tests/support/register_test_schemes_posix.h"

namespace physical_test {

std::vector<uint8_t> record_data(size_t block, uint32_t length)
{
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(block * 29 + i * 11 + (i >> 8) + 3);
    return bytes;
}

void write_medium(const std::string& path, const std::vector<uint32_t>& blocks)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    brx_file_tape_io_t writer;
    tape_io_handle_t handle;
    handle.attach(file);
    std::vector<uint8_t> buffer(65536);
    writer.setup(&handle, buffer.data(), 65536);
    for (size_t block = 0; block < blocks.size(); ++block) {
        if (blocks[block] == 0) {
            EXPECT_EQ(writer.write_tape_mark(&handle, buffer.data(), 65536), 0);
            continue;
        }
        std::vector<uint8_t> data = record_data(block, blocks[block]);
        std::memcpy(buffer.data() + 8, data.data(), data.size());
        EXPECT_EQ(writer.write_record(&handle, buffer.data(), blocks[block]), static_cast<int32_t>(blocks[block]));
    }
    CloseHandle(file);
}

scratch_directory_t::scratch_directory_t()
{
    std::string name = "brx-physical-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
}

scratch_directory_t::~scratch_directory_t()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

tape_drive_t::tape_drive_t(const std::string& device_string, int unit)
{
    register_test_device_schemes();
    std::string variable = "BRX_TAPE" + std::to_string(unit);
    setenv(variable.c_str(), device_string.c_str(), 1);
    std::string name = "\\\\.\\Tape" + std::to_string(unit);
    HANDLE os = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    unsetenv(variable.c_str());
    EXPECT_NE(os, INVALID_HANDLE_VALUE) << device_string << ": " << GetLastError();
    handle.attach(os);
}

tape_drive_t::~tape_drive_t() { CloseHandle(handle.get_os_handle()); }

}  // namespace physical_test
