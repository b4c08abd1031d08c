// The SCSI driver and both setup variants against the virtual drive: records of every size class
// and tape marks written, read back, spaced over both ways and rewound; modes checked in the trace
// and read back from the drive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tapeio/spti_mode_data.h"
#include "tapeio/spti_sense.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/tapeio/spti_tape_walk_posix.h"

namespace {

using namespace spti_test;

// Reaches "vtape:PATH?OPTIONS" as \\.\TapeN and keeps a buffer large enough for a 65536-byte write.
class vtape_drive_t {
public:
    vtape_drive_t(const std::string& name, const std::string& options, int unit)
    {
        register_test_device_schemes();
        dir = std::filesystem::temp_directory_path() / ("brx-spti-" + name + "-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        // Every drive keeps a trace of the commands it received.
        std::string trace = "trace=" + (dir / "trace.txt").string();
        std::string spec =
            "vtape:" + (dir / "tape.dmp").string() + "?" + (options.empty() ? "" : options + "&") + trace;
        std::string variable = "BRX_TAPE" + std::to_string(unit);
        setenv(variable.c_str(), spec.c_str(), 1);
        std::string path = "\\\\.\\Tape" + std::to_string(unit);
        handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << spec;
    }
    ~vtape_drive_t()
    {
        CloseHandle(handle.get_os_handle());
        std::filesystem::remove_all(dir);
    }
    vtape_drive_t(const vtape_drive_t&) = delete;
    vtape_drive_t& operator=(const vtape_drive_t&) = delete;

    std::vector<std::string> trace_lines() const
    {
        std::ifstream in(dir / "trace.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path dir;
    tape_io_handle_t handle;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536 + 512);
};

TEST(spti_vtape, records_and_marks_written_are_read_back_to_the_end_of_data)
{
    vtape_drive_t drive("walk", "", 80);
    s2pti_tape_io_t driver;
    write_tape(driver, &drive.handle, drive.buffer);
    expect_read_walk(driver, &drive.handle, drive.buffer);
}

TEST(spti_vtape, spaces_stop_at_marks_and_the_beginning_in_both_directions)
{
    vtape_drive_t drive("space", "", 81);
    s2pti_tape_io_t driver;
    write_tape(driver, &drive.handle, drive.buffer);
    uint8_t* b = drive.buffer.data();
    tape_io_handle_t* h = &drive.handle;
    ASSERT_EQ(driver.rewind(h, b, 65536), 1);

    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);  // over 1, 100 and the first mark
    EXPECT_EQ(h->block_count, 3);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 65024);
    expect_record(drive.buffer, 3, 65024);
    EXPECT_EQ(driver.space_file_reverse(h, b, 0), 0);  // back over 65024, stops in front of the mark
    EXPECT_EQ(h->block_count, 2);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 0);
    EXPECT_EQ(driver.space_record_forward(h, b, 0, 1), 0);
    EXPECT_EQ(h->block_count, 4);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 65536);
    expect_record(drive.buffer, 4, 65536);

    EXPECT_EQ(driver.space_record_reverse(h, b, 0, 10), 0);  // 65536, 65024, then the mark
    EXPECT_EQ(h->block_count, 2);
    EXPECT_EQ(driver.step_record_reverse(h, b, 0, 1), 1);
    EXPECT_EQ(h->block_count, 1);
    EXPECT_EQ(driver.space_file_reverse(h, b, 0), -1);  // the first file: the beginning
    EXPECT_EQ(h->block_count, 0);
    EXPECT_EQ(h->position, 0u);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 1);
    expect_record(drive.buffer, 0, 1);

    EXPECT_EQ(driver.step_record_forward(h, b, 0, 1), 1);
    EXPECT_EQ(driver.step_record_forward(h, b, 0, 5), 0);  // stopped behind the first mark
    EXPECT_EQ(h->block_count, 3);
    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);
    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);
    EXPECT_EQ(h->block_count, 7);
    EXPECT_EQ(driver.space_record_forward(h, b, 0, 1), -9);  // end of the recorded data
    EXPECT_EQ(h->block_count, 7);
    EXPECT_EQ(driver.rewind(h, b, 0), 1);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 1);
}

// MODE SENSE(6) of all pages, read after setup: the device-specific parameter and Device Configuration byte 8.
void read_modes(vtape_drive_t& drive, uint8_t* device_specific, uint8_t* configuration8)
{
    uint8_t* area = drive.buffer.data() + 4096;
    spti_request_t* request =
        mode_sense_command(&drive.handle, drive.buffer.data(), mode_form_t::six_byte, mode_pages_current, area);
    ASSERT_EQ(send_and_classify(&drive.handle, request), call_outcome_t::good);
    *device_specific = area[2];
    *configuration8 = 0;
    for (uint32_t page = 4u + area[3]; page + 16 <= area[0] + 1u; page += 2u + area[page + 1])
        if ((area[page] & 0x3F) == 0x10)
            *configuration8 = area[page + 8];
}

struct variant_case_t {
    const char* name;
    bool variant2;
    const char* options;
    std::vector<std::string> trace;
    uint8_t device_specific;
    uint8_t configuration8;
};

TEST(spti_vtape, setup_variants_select_variable_blocks_and_buffered_mode)
{
    const std::string ok = " | status 00 | sense -";
    const std::vector<variant_case_t> cases = {
        {"variant 1, buffered mode 0, speed 3", false, "bufmode=0&speed=3",
         {"5A 00 00 00 00 00 00 00 FF 00 | in 255" + ok, "55 00 00 00 00 00 00 00 10 00 | out 16" + ok}, 0x13, 0x40},
        {"variant 1, buffered mode 2", false, "bufmode=2&speed=3",
         {"5A 00 00 00 00 00 00 00 FF 00 | in 255" + ok, "55 00 00 00 00 00 00 00 10 00 | out 16" + ok}, 0x23, 0x40},
        {"variant 2, buffered mode 0, speed 3, byte 8 0x5F all changeable", true,
         "bufmode=0&speed=3&devconfig8=0x5F&changeable8=0xFF",
         {"1A 00 3F 00 FF 00 | in 255" + ok, "1A 00 7F 00 FF 00 | in 255" + ok, "15 10 00 00 1C 00 | out 28" + ok},
         0x1F, 0x52},
        {"variant 2, buffered mode 2", true, "bufmode=2&speed=3",
         {"1A 00 3F 00 FF 00 | in 255" + ok, "1A 00 7F 00 FF 00 | in 255" + ok, "15 10 00 00 1C 00 | out 28" + ok},
         0x23, 0x50},
    };
    s1pti_tape_io_t variant1;
    s2pti_tape_io_t variant2;
    int unit = 82;
    for (const variant_case_t& c : cases) {
        SCOPED_TRACE(c.name);
        vtape_drive_t drive("setup" + std::to_string(unit), c.options, unit);
        ++unit;
        tape_io_t& driver = c.variant2 ? static_cast<tape_io_t&>(variant2) : variant1;
        EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
        EXPECT_EQ(drive.handle.last_error, NO_ERROR);
        EXPECT_EQ(drive.trace_lines(), c.trace);
        uint8_t device_specific = 0;
        uint8_t configuration8 = 0;
        read_modes(drive, &device_specific, &configuration8);
        EXPECT_EQ(device_specific, c.device_specific);
        EXPECT_EQ(configuration8, c.configuration8);
    }
}

}  // namespace
