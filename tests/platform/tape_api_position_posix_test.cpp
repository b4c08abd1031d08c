// SetTapePosition, GetTapePosition, WriteTapemark, PrepareTape and EraseTape over SSC commands.
#include "tests/platform/tape_api_fixture_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;
constexpr uint8_t no_sense = 0, recovered = 1, medium_error = 3, illegal_request = 5, blank_check = 8;
constexpr uint8_t filemark = 0x80, eom = 0x40;

struct move_case_t {
    const char* what;
    DWORD method;
    DWORD low, high;
    scripted_reply_t reply;
    DWORD code;
    bytes_t cdb;
};

using tape_position = scripted_tape_t;

TEST_F(tape_position, spacing_sends_one_space_and_names_what_stopped_it)
{
    const move_case_t cases[] = {
        {"records forward", TAPE_SPACE_RELATIVE_BLOCKS, 5, 0, {}, NO_ERROR, {0x11, 0, 0, 0, 5, 0}},
        {"one record back", TAPE_SPACE_RELATIVE_BLOCKS, 0xFFFFFFFF, 0xFFFFFFFF, {}, NO_ERROR,
         {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {"largest forward piece", TAPE_SPACE_RELATIVE_BLOCKS, 0x7FFFFF, 0, {}, NO_ERROR,
         {0x11, 0, 0x7F, 0xFF, 0xFF, 0}},
        {"one mark forward", TAPE_SPACE_FILEMARKS, 1, 0, {}, NO_ERROR, {0x11, 1, 0, 0, 1, 0}},
        {"one mark back", TAPE_SPACE_FILEMARKS, 0xFFFFFFFF, 0xFFFFFFFF, {}, NO_ERROR, {0x11, 1, 0xFF, 0xFF, 0xFF, 0}},
        {"rewind", TAPE_REWIND, 0, 0, {}, NO_ERROR, {0x01, 0, 0, 0, 0, 0}},
        {"mark met forward", TAPE_SPACE_RELATIVE_BLOCKS, 5, 0,
         check_condition(tape_sense(no_sense, filemark, true, 3)), ERROR_FILEMARK_DETECTED, {0x11, 0, 0, 0, 5, 0}},
        {"mark met backward", TAPE_SPACE_RELATIVE_BLOCKS, 0xFFFFFFFF, 0xFFFFFFFF,
         check_condition(tape_sense(no_sense, filemark, true, -1)), ERROR_FILEMARK_DETECTED,
         {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {"end of data", TAPE_SPACE_FILEMARKS, 1, 0, check_condition(tape_sense(blank_check, 0, true, 1)),
         ERROR_NO_DATA_DETECTED, {0x11, 1, 0, 0, 1, 0}},
        {"end of medium", TAPE_SPACE_RELATIVE_BLOCKS, 2, 0, check_condition(tape_sense(medium_error, eom, true, 1)),
         ERROR_END_OF_MEDIA, {0x11, 0, 0, 0, 2, 0}},
        {"beginning of medium", TAPE_SPACE_FILEMARKS, 0xFFFFFFFF, 0xFFFFFFFF,
         check_condition(tape_sense(no_sense, eom, true, -1)), ERROR_BEGINNING_OF_MEDIA,
         {0x11, 1, 0xFF, 0xFF, 0xFF, 0}},
        {"beginning under MEDIUM ERROR", TAPE_SPACE_RELATIVE_BLOCKS, 0xFFFFFFFF, 0xFFFFFFFF,
         check_condition(tape_sense(medium_error, eom, true, -1)), ERROR_BEGINNING_OF_MEDIA,
         {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {"unreadable", TAPE_SPACE_RELATIVE_BLOCKS, 1, 0, check_condition(tape_sense(medium_error)), ERROR_CRC,
         {0x11, 0, 0, 0, 1, 0}},
        {"refused", TAPE_SPACE_FILEMARKS, 1, 0, check_condition(tape_sense(illegal_request)), ERROR_INVALID_FUNCTION,
         {0x11, 1, 0, 0, 1, 0}},
    };
    for (const move_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        SetLastError(0x5A5A);
        EXPECT_EQ(SetTapePosition(tape, c.method, 0, c.low, c.high, FALSE), c.code);
        EXPECT_EQ(GetLastError(), c.code == NO_ERROR ? 0x5A5Au : c.code);
        EXPECT_EQ(only_command().cdb, c.cdb);
    }
}

TEST_F(tape_position, long_spaces_go_in_24_bit_pieces_and_resume_after_a_short_recovered_piece)
{
    ASSERT_EQ(SetTapePosition(tape, TAPE_SPACE_RELATIVE_BLOCKS, 0, 0x01000001, 0, FALSE), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);
    EXPECT_EQ(drive->commands[0].cdb, (bytes_t{0x11, 0, 0x7F, 0xFF, 0xFF, 0}));
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x11, 0, 0x7F, 0xFF, 0xFF, 0}));
    EXPECT_EQ(drive->commands[2].cdb, (bytes_t{0x11, 0, 0, 0, 3, 0}));
    drive->commands.clear();

    drive->push(check_condition(tape_sense(recovered, 0, true, -2)));  // 3 of 5 passed backward
    ASSERT_EQ(SetTapePosition(tape, TAPE_SPACE_RELATIVE_BLOCKS, 0, 0xFFFFFFFB, 0xFFFFFFFF, FALSE), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 2u);
    EXPECT_EQ(drive->commands[0].cdb, (bytes_t{0x11, 0, 0xFF, 0xFF, 0xFB, 0}));
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x11, 0, 0xFF, 0xFF, 0xFE, 0}));  // -2 left after -3 passed
    drive->commands.clear();

    drive->push(check_condition(tape_sense(recovered, 0, true, 4)));  // nothing passed: no endless loop
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_RELATIVE_BLOCKS, 0, 4, 0, FALSE), ERROR_IO_DEVICE);
    EXPECT_EQ(drive->commands.size(), 1u);
}

TEST_F(tape_position, unsupported_requests_are_refused_before_any_command)
{
    DWORD partition = 0, low = 0, high = 0;
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_SETMARKS, 0, 1, 0, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_FILEMARKS, 2, 1, 0, FALSE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetTapePosition(tape, TAPE_ABSOLUTE_POSITION, &partition, &low, &high), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(WriteTapemark(tape, TAPE_SETMARKS, 1, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(PrepareTape(tape, TAPE_TENSION, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(EraseTape(tape, 7, FALSE), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(drive->commands.empty());
    EXPECT_EQ(SetTapePosition(INVALID_HANDLE_VALUE, TAPE_REWIND, 0, 0, 0, FALSE), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(tape_position, logical_position_comes_from_read_position)
{
    bytes_t position(20, 0);
    position[1] = 0;
    position[4] = 0x01, position[5] = 0x02, position[6] = 0x03, position[7] = 0x04;
    drive->push(good_with(position));
    DWORD partition = 9, low = 0, high = 9;
    ASSERT_EQ(GetTapePosition(tape, TAPE_LOGICAL_POSITION, &partition, &low, &high), NO_ERROR);
    EXPECT_EQ(low, 0x01020304u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(partition, 0u);
    scripted_command_t sent = only_command();
    EXPECT_EQ(sent.cdb, (bytes_t{0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent.data_length, 20u);

    position[0] = 0x04;  // block position unknown
    drive->push(good_with(position));
    EXPECT_EQ(GetTapePosition(tape, TAPE_LOGICAL_POSITION, &partition, &low, &high), ERROR_IO_DEVICE);
    drive->push(check_condition(tape_sense(illegal_request)));
    EXPECT_EQ(GetTapePosition(tape, TAPE_LOGICAL_POSITION, &partition, &low, &high), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
}

TEST_F(tape_position, marks_unload_and_erase_send_their_commands)
{
    EXPECT_EQ(WriteTapemark(tape, TAPE_FILEMARKS, 1, FALSE), NO_ERROR);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x10, 0, 0, 0, 1, 0}));
    drive->push(check_condition(tape_sense(no_sense, eom, true, 0)));
    EXPECT_EQ(WriteTapemark(tape, TAPE_LONG_FILEMARKS, 2, FALSE), ERROR_END_OF_MEDIA);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x10, 0, 0, 0, 2, 0}));
    EXPECT_EQ(PrepareTape(tape, TAPE_UNLOAD, FALSE), NO_ERROR);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x1B, 0, 0, 0, 0, 0}));
    EXPECT_EQ(PrepareTape(tape, TAPE_LOAD, FALSE), NO_ERROR);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x1B, 0, 0, 0, 1, 0}));
    EXPECT_EQ(EraseTape(tape, TAPE_ERASE_LONG, FALSE), NO_ERROR);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x19, 1, 0, 0, 0, 0}));
    drive->push(check_condition(tape_sense(7)));
    EXPECT_EQ(EraseTape(tape, TAPE_ERASE_SHORT, FALSE), ERROR_WRITE_PROTECT);
    EXPECT_EQ(only_command().cdb, (bytes_t{0x19, 0, 0, 0, 0, 0}));
}

}  // namespace
