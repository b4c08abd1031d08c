#include "tests/support/tgt_posix.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tapeio/tape_io_objects.h"

const char* tgt_url(const char* variable)
{
    const char* url = std::getenv(variable);
    return url != nullptr && url[0] != '\0' ? url : nullptr;
}

bool write_tape(const std::string& url, const std::vector<std::string>& blocks)
{
    posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    setenv("BRX_TAPE88", url.c_str(), 1);
    tape_io_handle_t handle;
    handle.attach(CreateFileA("\\\\.\\Tape88", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    size_t longest = 65536;  // after the driver's header
    for (const std::string& block : blocks)
        longest = std::max(longest, block.size());
    std::vector<uint8_t> buffer(512 + longest);
    tape_io_t& driver = s2pti_tape_io;
    bool written = handle.get_os_handle() != INVALID_HANDLE_VALUE && driver.rewind(&handle, buffer.data(), 65536) == 1;
    for (const std::string& block : blocks) {
        std::memcpy(buffer.data() + driver.data_offset(&handle), block.data(), block.size());
        const uint32_t length = static_cast<uint32_t>(block.size());
        written = written && (length == 0 ? driver.write_tape_mark(&handle, buffer.data(), 65536)
                                          : driver.write_record(&handle, buffer.data(), length)) == int32_t(length);
    }
    CloseHandle(handle.get_os_handle());
    return written;
}
