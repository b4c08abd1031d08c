// GetTapeParameters and SetTapeParameters from READ BLOCK LIMITS and the mode pages.
#include <cstring>

#include "tests/platform/tape_api_fixture_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;

// MODE SENSE(6) data: header, one block descriptor of the given length, then the page bytes.
bytes_t mode_data(uint8_t device_specific, uint32_t block_length, bytes_t page = {}, bool descriptor = true)
{
    bytes_t data = {0, 0x00, device_specific, static_cast<uint8_t>(descriptor ? 8 : 0)};
    if (descriptor)
        data.insert(data.end(), {0x42, 0, 0, 0, 0, static_cast<uint8_t>(block_length >> 16),
                                 static_cast<uint8_t>(block_length >> 8), static_cast<uint8_t>(block_length)});
    data.insert(data.end(), page.begin(), page.end());
    data[0] = static_cast<uint8_t>(data.size() - 1);
    return data;
}

bytes_t compression_page(bool capable, bool enabled)
{
    bytes_t page(16, 0);
    page[0] = 0x0F | 0x80;  // PS set, as drives report it
    page[1] = 14;
    page[2] = static_cast<uint8_t>((enabled ? 0x80 : 0) | (capable ? 0x40 : 0));
    page[4] = 0x10;  // compression algorithm, kept as sensed
    return page;
}

bytes_t configuration_page(uint32_t early_warning_buffer)
{
    bytes_t page(16, 0);
    page[0] = 0x10;
    page[1] = 14;
    page[11] = static_cast<uint8_t>(early_warning_buffer >> 16);
    page[12] = static_cast<uint8_t>(early_warning_buffer >> 8);
    page[13] = static_cast<uint8_t>(early_warning_buffer);
    return page;
}

using tape_parameters = scripted_tape_t;

TEST_F(tape_parameters, a_short_size_gets_more_data_and_the_size_needed)
{
    DWORD size = sizeof(TAPE_GET_DRIVE_PARAMETERS) - 1;
    TAPE_GET_DRIVE_PARAMETERS drive_info{};
    EXPECT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &drive_info), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof(TAPE_GET_DRIVE_PARAMETERS));
    size = 0;
    TAPE_GET_MEDIA_PARAMETERS media{};
    EXPECT_EQ(GetTapeParameters(tape, GET_TAPE_MEDIA_INFORMATION, &size, &media), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof(TAPE_GET_MEDIA_PARAMETERS));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_TRUE(drive->commands.empty());
}

TEST_F(tape_parameters, drive_information_from_block_limits_descriptor_and_pages)
{
    drive->push(good_with({0x00, 0x01, 0x00, 0x00, 0x00, 0x04}));  // max 65536, min 4
    drive->push(good_with(mode_data(0x10, 1024)));
    drive->push(good_with(mode_data(0x10, 0, compression_page(true, true), false)));
    drive->push(good_with(mode_data(0x10, 0, configuration_page(0x012345), false)));
    DWORD size = sizeof(TAPE_GET_DRIVE_PARAMETERS);
    TAPE_GET_DRIVE_PARAMETERS info{};
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), NO_ERROR);
    EXPECT_EQ(info.MaximumBlockSize, 65536u);
    EXPECT_EQ(info.MinimumBlockSize, 4u);
    EXPECT_EQ(info.DefaultBlockSize, 1024u);
    EXPECT_EQ(info.Compression, 1);
    EXPECT_EQ(info.FeaturesLow, TAPE_DRIVE_COMPRESSION);
    EXPECT_EQ(info.FeaturesHigh & TAPE_DRIVE_SET_COMPRESSION, 0x200u);
    EXPECT_EQ(info.EOTWarningZoneSize, 0x012345u);
    ASSERT_EQ(drive->commands.size(), 4u);
    EXPECT_EQ(drive->commands[0].cdb, (bytes_t{0x05, 0, 0, 0, 0, 0}));
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x1A, 0, 0x00, 0, 255, 0}));
    EXPECT_EQ(drive->commands[2].cdb, (bytes_t{0x1A, 0x08, 0x0F, 0, 255, 0}));
    EXPECT_EQ(drive->commands[3].cdb, (bytes_t{0x1A, 0x08, 0x10, 0, 255, 0}));
}

TEST_F(tape_parameters, a_drive_without_the_pages_reports_no_compression_and_no_zone)
{
    scripted_reply_t refused = check_condition(tape_sense(5));
    drive->push(good_with({0x00, 0x00, 0xFF, 0xFF, 0x00, 0x01}));
    drive->push(good_with(mode_data(0x10, 0)));
    drive->push(refused);
    drive->push(good_with(mode_data(0x10, 0, compression_page(true, true), false)));  // not the page asked for
    DWORD size = 100;
    TAPE_GET_DRIVE_PARAMETERS info{};
    info.EOTWarningZoneSize = 77;
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), NO_ERROR);
    EXPECT_EQ(size, sizeof(TAPE_GET_DRIVE_PARAMETERS));
    EXPECT_EQ(info.Compression, 0);
    EXPECT_EQ(info.FeaturesLow, 0u);
    EXPECT_EQ(info.EOTWarningZoneSize, 0u);
    EXPECT_EQ(info.MaximumBlockSize, 0xFFFFu);

    drive->push(check_condition(tape_sense(2, 0, false, 0, 0x3A)));
    EXPECT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), ERROR_NO_MEDIA_IN_DRIVE);
}

TEST_F(tape_parameters, media_information_from_the_block_descriptor)
{
    drive->push(good_with(mode_data(0x90, 512)));
    DWORD size = sizeof(TAPE_GET_MEDIA_PARAMETERS);
    TAPE_GET_MEDIA_PARAMETERS media{};
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 512u);
    EXPECT_EQ(media.WriteProtected, 1);
    EXPECT_EQ(media.Capacity.QuadPart, 0);

    drive->push(good_with(mode_data(0x10, 0, {}, false)));  // no descriptor: variable
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 0u);
    EXPECT_EQ(media.WriteProtected, 0);
}

TEST_F(tape_parameters, block_size_goes_out_in_a_descriptor_keeping_density_and_buffered_mode)
{
    drive->push(good_with(mode_data(0x93, 512)));
    TAPE_SET_MEDIA_PARAMETERS media{0};
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &media), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 2u);
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x15, 0, 0, 0, 12, 0}));
    EXPECT_EQ(drive->commands[1].data_out, (bytes_t{0, 0, 0x13, 8, 0x42, 0, 0, 0, 0, 0, 0, 0}));
    drive->commands.clear();

    media.BlockSize = 0x10000;
    drive->push(good_with(mode_data(0x10, 0)));
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &media), NO_ERROR);
    EXPECT_EQ(drive->commands[1].data_out, (bytes_t{0, 0, 0x10, 8, 0x42, 0, 0, 0, 0, 0x01, 0x00, 0x00}));
    drive->commands.clear();

    media.BlockSize = 0x1000000;
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &media), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(drive->commands.empty());
}

TEST_F(tape_parameters, compression_is_switched_through_the_data_compression_page)
{
    drive->push(good_with(mode_data(0x10, 0, compression_page(true, true), false)));
    TAPE_SET_DRIVE_PARAMETERS settings{0, 0, 1, 0, 0};
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);  // then the configuration page, which this drive lacks
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x15, 0x10, 0, 0, 20, 0}));
    bytes_t expected = {0, 0, 0x10, 0};
    bytes_t page = compression_page(true, false);
    page[0] = 0x0F;
    expected.insert(expected.end(), page.begin(), page.end());
    EXPECT_EQ(drive->commands[1].data_out, expected);
    drive->commands.clear();

    drive->push(good_with(mode_data(0x10, 0, compression_page(true, false), false)));
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    EXPECT_EQ(drive->commands.size(), 2u);  // already off: nothing to select
    drive->commands.clear();

    settings.Compression = 1;
    drive->push(good_with(mode_data(0x10, 0, compression_page(false, false), false)));
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(drive->commands.size(), 1u);
}

TEST_F(tape_parameters, the_warning_zone_goes_to_the_configuration_page_only_when_it_changes)
{
    const bytes_t no_compression = mode_data(0x10, 0, compression_page(false, false), false);
    drive->push(good_with(no_compression));
    drive->push(good_with(mode_data(0x10, 0, configuration_page(0x1234), false)));
    TAPE_SET_DRIVE_PARAMETERS settings{0, 0, 0, 0, 0x1234};
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    EXPECT_EQ(drive->commands.size(), 2u);
    drive->commands.clear();

    drive->push(good_with(no_compression));
    drive->push(good_with(mode_data(0x10, 0, configuration_page(0x1234), false)));
    settings.EOTWarningZoneSize = 0x020001;
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);
    bytes_t expected = {0, 0, 0x10, 0};
    bytes_t page = configuration_page(0x020001);
    expected.insert(expected.end(), page.begin(), page.end());
    EXPECT_EQ(drive->commands[2].cdb, (bytes_t{0x15, 0x10, 0, 0, 20, 0}));
    EXPECT_EQ(drive->commands[2].data_out, expected);
    drive->commands.clear();

    drive->push(good_with(no_compression));
    drive->push(check_condition(tape_sense(5)));  // no configuration page: no zone to set
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), ERROR_INVALID_FUNCTION);
}

}  // namespace
