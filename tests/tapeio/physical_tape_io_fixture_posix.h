// Media for the tape-API driver's tests: container files written through the container-file
// driver, reached as \\.\TapeN through the virtual drive.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tapeio/tape_io_handle.h"

namespace physical_test {

// Contents of the record that is block number `block`: differs per block and along the record.
std::vector<uint8_t> record_data(size_t block, uint32_t length);

// Writes a medium of these blocks (a length, 0 for a tape mark) with record_data contents.
void write_medium(const std::string& path, const std::vector<uint32_t>& blocks);

class scratch_directory_t {
public:
    scratch_directory_t();
    ~scratch_directory_t();
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

// A device string opened as \\.\TapeN and attached to a handle, with a 64 KiB buffer.
class tape_drive_t {
public:
    tape_drive_t(const std::string& device_string, int unit);
    ~tape_drive_t();
    tape_drive_t(const tape_drive_t&) = delete;
    tape_drive_t& operator=(const tape_drive_t&) = delete;

    tape_io_handle_t handle;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536);
};

}  // namespace physical_test
