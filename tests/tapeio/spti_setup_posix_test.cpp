// Both setup variants against a scripted drive: the MODE SENSE forms tried in order, the mode data
// sent back (variable blocks, buffered mode 1, the Device Configuration page within its changeable
// bits), and the results of variant 2's failures.

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;
using bytes_t = std::vector<uint8_t>;

// A command setup sends: MODE SENSE (no data out) reads 255 bytes, MODE SELECT sends out.
struct sent_t { bytes_t cdb, out = {}; };
const sent_t s1_sense10{{0x5A, 0, 0x00, 0, 0, 0, 0, 0, 0xFF, 0}}, s1_sense6{{0x1A, 0, 0x00, 0, 0xFF, 0}};
const sent_t current6{{0x1A, 0, 0x3F, 0, 0xFF, 0}}, changeable6{{0x1A, 0, 0x7F, 0, 0xFF, 0}};
const sent_t current10{{0x5A, 0, 0x3F, 0, 0, 0, 0, 0, 0xFF, 0}}, changeable10{{0x5A, 0, 0x7F, 0, 0, 0, 0, 0, 0xFF, 0}};

// MODE SELECT(6) or (10); variant 2 sets PF.
sent_t select6(uint8_t pf, bytes_t list) { return {{0x15, pf, 0, 0, uint8_t(list.size()), 0}, list}; }
sent_t select10(uint8_t pf, bytes_t list) { return {{0x55, pf, 0, 0, 0, 0, 0, 0, uint8_t(list.size()), 0}, list}; }

// Density 0x13, 0x1000 blocks, block length given; variable blocks have length 0.
bytes_t descriptor(uint32_t length = 0) { return {0x13, 0, 0x10, 0, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)}; }
const bytes_t variable = descriptor(), changeable_descriptor = {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
const bytes_t compression_page = {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
// PS set, CAP/CAF/active format, partition, buffer ratios, write delay 0x0064, byte 8 0x5F, the rest.
const bytes_t configuration_page = {0x90, 0x0E, 0x61, 0x02, 0x30, 0x40, 0x00, 0x64, 0x5F, 0x7F, 0x18, 0x05, 0, 0, 1, 0};

bytes_t mask(uint8_t byte8) { return {0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, byte8, 0, 0, 0, 0, 0, 0, 0}; }
// What variant 2 sends back: PS, the first bytes and all but byte 8's changeable bits as they were.
bytes_t rebuilt(uint8_t byte8) { return {0x10, 0x0E, 0, 0, 0, 0, 0x00, 0x64, byte8, 0x7F, 0x18, 0x05, 0, 0, 1, 0}; }

// Mode data with a header of the right length, descriptors, then pages.
bytes_t six(uint8_t device_specific, const bytes_t& descriptors, const bytes_t& pages)
{
    bytes_t data = join({{0, 0x05, device_specific, uint8_t(descriptors.size())}, descriptors, pages});
    data[0] = uint8_t(data.size() - 1);
    return data;
}
bytes_t ten(uint8_t device_specific, const bytes_t& descriptors, const bytes_t& pages)
{
    bytes_t data = join({{0, 0, 0x05, device_specific, 0, 0, 0, uint8_t(descriptors.size())}, descriptors, pages});
    data[1] = uint8_t(data.size() - 2);
    return data;
}

struct setup_case_t { const char* name; bool variant2; std::vector<scripted_reply_t> replies; std::vector<sent_t> sent;
                      int32_t result = 0; DWORD last_error = NO_ERROR; };

std::vector<setup_case_t> setup_cases()
{
    const bytes_t all = join({compression_page, configuration_page}), masks = join({bytes_t(16, 0), mask(0xFF)});
    const scripted_reply_t refused = check(sense(illegal_request)), masks6 = good(six(0x7F, changeable_descriptor, masks));
    const scripted_reply_t no_masks = good(six(0, changeable_descriptor, {}));
    const bytes_t h1f = {0, 0, 0x1F, 0x08};
    return {
        {"1: ten-byte, buffered mode 0 and speed 3", false, {good(join({{0, 0x0E, 0x05, 0x03, 0, 0, 0, 8}, descriptor(0x400)}))},
         {s1_sense10, select10(0, join({{0, 0, 0, 0x13, 0, 0, 0, 8}, variable}))}},
        {"1: ten-byte, buffered mode 2 unchanged", false, {good(join({{0, 0x0E, 0, 0x25, 0, 0, 0, 8}, descriptor(512)}))},
         {s1_sense10, select10(0, join({{0, 0, 0, 0x25, 0, 0, 0, 8}, variable}))}},
        {"1: ten-byte refused, six-byte, write protect dropped", false, {refused, good(join({{0x0B, 5, 0x83, 8}, descriptor(0x8000)}))},
         {s1_sense10, s1_sense6, select6(0, join({{0, 0, 0x13, 8}, variable}))}},
        {"1: neither form answers", false, {refused, call_fails(ERROR_SEM_TIMEOUT)}, {s1_sense10, s1_sense6}},
        {"2: buffered mode 0, speed 3, byte 8 0x5F all changeable", true, {good(six(0x03, descriptor(0x400), all)), masks6},
         {current6, changeable6, select6(0x10, join({h1f, variable, rebuilt(0x52)}))}},
        {"2: buffered mode 2 unchanged", true, {good(six(0x23, descriptor(0x400), all)), masks6},
         {current6, changeable6, select6(0x10, join({{0, 0, 0x23, 8}, variable, rebuilt(0x52)}))}},
        {"2: some bits of byte 8 changeable", true, {good(six(0x10, descriptor(0x400), configuration_page)), good(six(0, changeable_descriptor, mask(0x21)))},
         {current6, changeable6, select6(0x10, join({{0, 0, 0x10, 8}, variable, rebuilt(0x5E)}))}},
        {"2: no Device Configuration page", true, {good(six(0, descriptor(0x400), compression_page)), no_masks},
         {current6, changeable6, select6(0x10, join({h1f, variable}))}},
        {"2: six-byte refused, ten-byte from then on", true, {refused, good(ten(0x03, descriptor(0x400), all)), good(ten(0x7F, changeable_descriptor, masks))},
         {current6, current10, changeable10, select10(0x10, join({{0, 0, 0, 0x1F, 0, 0, 0, 8}, variable, rebuilt(0x52)}))}},
        {"2: neither form answers", true, {refused, call_fails(ERROR_SEM_TIMEOUT)}, {current6, current10}, -1, ERROR_GEN_FAILURE},
        {"2: changeable values refused", true, {good(six(3, descriptor(0x400), all)), refused}, {current6, changeable6}, -3, planted_error},
        {"2: MODE SELECT call failed", true, {good(six(3, descriptor(0x400), {})), no_masks, call_fails(ERROR_IO_DEVICE)},
         {current6, changeable6, select6(0x10, join({h1f, variable}))}, -2, ERROR_IO_DEVICE},
    };
}

TEST(spti_setup, variants_rebuild_the_modes_and_report_failures)
{
    scripted_drive_t drive("spti-setup", 75);
    s1pti_tape_io_t variant1;
    s2pti_tape_io_t variant2;
    // The buffer is the work area whatever size the caller names.
    for (const setup_case_t& c : setup_cases()) for (uint32_t size : {65536u, 0u}) {
        SCOPED_TRACE(testing::Message() << c.name << ", size " << size);
        drive.script(c.replies);
        drive.handle.path_id = 0x301, drive.handle.target_id = 5, drive.handle.lun = 2;  // only low bytes travel
        drive.handle.block_count = 7, drive.handle.position = 1;
        SetLastError(planted_error);
        tape_io_t& driver = c.variant2 ? static_cast<tape_io_t&>(variant2) : variant1;
        EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), size), c.result);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        if (c.last_error == ERROR_GEN_FAILURE) { EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE); }
        EXPECT_EQ(drive.handle.block_count + drive.handle.position, 8u);
        const std::vector<scripted_command_t>& sent = drive.device->commands;
        ASSERT_EQ(sent.size(), c.sent.size());
        for (size_t i = 0; i < sent.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "command " << i);
            bool in = c.sent[i].out.empty();
            EXPECT_EQ(sent[i].cdb, c.sent[i].cdb);
            EXPECT_EQ(sent[i].direction, in ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT);
            EXPECT_EQ(sent[i].data_length, in ? 255u : c.sent[i].out.size());
            EXPECT_EQ(sent[i].timeout_seconds, 60u);
            EXPECT_EQ(bytes_t({sent[i].path_id, sent[i].target_id, sent[i].lun}), bytes_t({0x01, 0x05, 0x02}));
            if (!in) { EXPECT_EQ(sent[i].data_out, c.sent[i].out); }
        }
    }
}

}  // namespace
