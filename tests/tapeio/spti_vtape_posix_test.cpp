// The SCSI driver against the virtual drive and, when one is running, a tgt iSCSI tape: records
// of every size class and tape marks written, read back, spaced over both ways and rewound; the
// setup variants' modes read back from the drive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tapeio/spti_mode_data.h"
#include "tapeio/spti_sense.h"
#include "tests/support/register_test_schemes_posix.h"

namespace {

// The tape's blocks in order; 0 is a tape mark. 65536 is longer than one read's data area.
const std::vector<uint32_t> tape_layout = {1, 100, 0, 65024, 65536, 0, 0};

uint8_t pattern(uint32_t record, uint32_t i) { return static_cast<uint8_t>(record * 31 + i * 7 + (i >> 8)); }

// Opens \\.\TapeN for the device string; the buffer holds a 65536-byte record behind the request block.
struct drive_t {
    drive_t(const std::string& device_string, int unit)
    {
        setenv(("BRX_TAPE" + std::to_string(unit)).c_str(), device_string.c_str(), 1);
        std::string path = "\\\\.\\Tape" + std::to_string(unit);
        handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << device_string << ": error " << GetLastError();
    }
    ~drive_t() { CloseHandle(handle.get_os_handle()); }

    // The data area holds at most 65024 bytes of a record, however long it was.
    void expect_record(uint32_t index, uint32_t length)
    {
        for (uint32_t i = 0; i < std::min<uint32_t>(length, 65024); ++i)
            ASSERT_EQ(buffer[512 + i], pattern(index, i)) << "record " << index << " byte " << i;
    }

    // Writes the tape, rewinds and reads every block, then the end of the recorded data. tgt
    // delivers none of a record longer than the read, which the caller may allow.
    void write_and_read_back(tape_io_t& driver, bool longer_record_may_be_absent)
    {
        uint8_t* b = buffer.data();
        ASSERT_EQ(driver.rewind(&handle, b, 65536), 1);
        for (uint32_t index = 0; index < tape_layout.size(); ++index) {
            for (uint32_t i = 0; i < tape_layout[index]; ++i)
                b[512 + i] = pattern(index, i);
            int32_t expected = static_cast<int32_t>(tape_layout[index]);
            ASSERT_EQ(expected == 0 ? driver.write_tape_mark(&handle, b, 65536) : driver.write_record(&handle, b, expected), expected);
        }
        ASSERT_EQ(driver.rewind(&handle, b, 65536), 1);
        EXPECT_EQ(handle.block_count, 0);
        for (uint32_t index = 0; index < tape_layout.size(); ++index) {
            std::fill(buffer.begin() + 512, buffer.end(), 0xEE);
            ASSERT_EQ(driver.read_forward(&handle, b, 65536), static_cast<int32_t>(tape_layout[index])) << index;
            bool absent = std::all_of(buffer.begin() + 512, buffer.begin() + 65536, [](uint8_t v) { return v == 0xEE; });
            if (!(longer_record_may_be_absent && tape_layout[index] > 65024 && absent))
                expect_record(index, tape_layout[index]);
            EXPECT_EQ(handle.block_count, static_cast<int32_t>(index + 1));
        }
        EXPECT_EQ(driver.read_forward(&handle, b, 65536), -9);
        EXPECT_EQ(handle.block_count, 7);
    }

    tape_io_handle_t handle;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536 + 512);
};

// A virtual drive with its tape in a directory of its own.
struct vtape_t {
    explicit vtape_t(const std::string& name)
        : dir(std::filesystem::temp_directory_path() / ("brx-spti-" + name + "-" + std::to_string(getpid())))
    {
        register_test_device_schemes();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~vtape_t() { std::filesystem::remove_all(dir); }
    std::string device_string(const std::string& options) const
    {
        return "vtape:" + (dir / "tape.dmp").string() + (options.empty() ? "" : "?" + options);
    }
    std::filesystem::path dir;
};

TEST(spti_vtape, records_and_marks_are_read_back_spaced_over_both_ways_and_rewound)
{
    vtape_t tape("walk");
    drive_t drive(tape.device_string(""), 80);
    s2pti_tape_io_t driver;
    drive.write_and_read_back(driver, false);
    uint8_t* b = drive.buffer.data();
    tape_io_handle_t* h = &drive.handle;
    ASSERT_EQ(driver.rewind(h, b, 65536), 1);
    // Each step: the result, then the block count.
    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);  // over 1, 100 and the first mark
    EXPECT_EQ(h->block_count, 3);
    EXPECT_EQ(driver.space_file_reverse(h, b, 0), 0);  // stops in front of the mark
    EXPECT_EQ(h->block_count, 2);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 0);
    EXPECT_EQ(driver.space_record_forward(h, b, 0, 1), 0);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 65536);
    drive.expect_record(4, 65536);
    EXPECT_EQ(driver.space_record_reverse(h, b, 0, 10), 0);  // 65536, 65024, then the mark
    EXPECT_EQ(h->block_count, 2);
    EXPECT_EQ(driver.step_record_reverse(h, b, 0, 1), 1);
    EXPECT_EQ(driver.space_file_reverse(h, b, 0), -1);  // the first file: the beginning
    EXPECT_EQ(h->block_count, 0);
    EXPECT_EQ(h->position, 0u);
    EXPECT_EQ(driver.step_record_forward(h, b, 0, 5), 0);  // stopped behind the first mark
    EXPECT_EQ(h->block_count, 3);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 65024);
    drive.expect_record(3, 65024);
    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);
    EXPECT_EQ(driver.space_file_forward(h, b, 0), 0);
    EXPECT_EQ(h->block_count, 7);
    EXPECT_EQ(driver.space_record_forward(h, b, 0, 1), -9);  // end of the recorded data
    EXPECT_EQ(driver.rewind(h, b, 0), 1);
    EXPECT_EQ(driver.read_forward(h, b, 65536), 1);
    drive.expect_record(0, 1);
}

TEST(spti_vtape, setup_variants_select_variable_blocks_and_buffered_mode)
{
    const struct { bool variant2; const char* options; uint8_t device_specific, configuration8; } cases[] = {
        {false, "bufmode=0&speed=3", 0x13, 0x40},
        {false, "bufmode=2&speed=3", 0x23, 0x40},
        {true, "bufmode=0&speed=3&devconfig8=0x5F&changeable8=0xFF", 0x1F, 0x52},
        {true, "bufmode=2&speed=3", 0x23, 0x50},
    };
    s1pti_tape_io_t variant1;
    s2pti_tape_io_t variant2;
    int unit = 82;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        vtape_t tape("setup" + std::to_string(unit));
        drive_t drive(tape.device_string(c.options), unit++);
        tape_io_t& driver = c.variant2 ? static_cast<tape_io_t&>(variant2) : variant1;
        EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
        EXPECT_EQ(drive.handle.last_error, NO_ERROR);
        // Read back with MODE SENSE(6) of all pages: the device-specific byte and Device Configuration byte 8.
        uint8_t* area = drive.buffer.data() + 4096;
        spti_request_t* request = mode_sense_command(&drive.handle, drive.buffer.data(), mode_form_t::six_byte, mode_pages_current, area);
        ASSERT_EQ(send_and_classify(&drive.handle, request), call_outcome_t::good);
        EXPECT_EQ(area[2], c.device_specific);
        uint8_t configuration8 = 0;
        for (uint32_t page = 4u + area[3]; page + 16 <= area[0] + 1u; page += 2u + area[page + 1])
            if ((area[page] & 0x3F) == 0x10)
                configuration8 = area[page + 8];
        EXPECT_EQ(configuration8, c.configuration8);
    }
}

// tests/tgt/start-tgt.sh prints the URL; the suite name carries "Tgt" so the tests sharing the
// one tape run one at a time.
TEST(spti_Tgt, a_tape_the_driver_wrote_reads_back_record_for_record)
{
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    if (url == nullptr || url[0] == '\0')
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set (see tests/tgt/start-tgt.sh)";
    posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    drive_t drive(url, 89);
    s2pti_tape_io_t driver;
    drive.write_and_read_back(driver, true);
}

}  // namespace
