// Moving the tape: SetTapePosition, GetTapePosition, WriteTapemark, PrepareTape, EraseTape.
#include "platform/posix/tape_api_posix.h"
#include "platform/posix/tape_commands_posix.h"

using namespace posix::tape;

namespace {

// SPACE in pieces of at most 24 bits. A piece that stops early without a tape event (a recovered
// error with a residue) is continued from where the drive says it stopped.
DWORD space(posix::handle_object_t& drive, uint8_t code, int64_t count)
{
    while (count != 0) {
        int32_t piece = static_cast<int32_t>(count > space_count_max   ? space_count_max
                                             : count < space_count_min ? space_count_min
                                                                       : count);
        reply_t reply = space6(drive, code, piece);
        DWORD result = code_of(reply, piece > 0 ? motion_t::forward : motion_t::backward);
        if (result != NO_ERROR)
            return result;  // tape behind the mark met, or at the end or beginning met
        // Any 32-bit residue may arrive: one that leaves nothing passed, or claims more than was
        // asked or the other way, is a drive fault; stop rather than loop or overshoot.
        int64_t passed = reply.sensed() && reply.valid() ? int64_t{piece} - reply.information() : piece;
        if (piece > 0 ? passed <= 0 || passed > piece : passed >= 0 || passed < piece)
            return ERROR_IO_DEVICE;
        count -= passed;
    }
    return NO_ERROR;
}

}  // namespace

DWORD SetTapePosition(HANDLE device, DWORD method, DWORD partition, DWORD offset_low, DWORD offset_high,
                      BOOL /*immediate: every call waits for the drive*/)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (partition != 0)
        return answer(ERROR_INVALID_PARAMETER);  // one partition only
    int64_t count = static_cast<int64_t>((uint64_t{offset_high} << 32) | offset_low);
    switch (method) {
    case TAPE_REWIND: return answer(code_of(rewind(*drive), motion_t::none));
    case TAPE_SPACE_RELATIVE_BLOCKS: return answer(space(*drive, space_blocks, count));
    case TAPE_SPACE_FILEMARKS: return answer(space(*drive, space_filemarks, count));
    default: return answer(ERROR_INVALID_FUNCTION);
    }
}

// Only the logical position: the drives reached here number their blocks one way.
DWORD GetTapePosition(HANDLE device, DWORD position_type, LPDWORD partition, LPDWORD offset_low,
                      LPDWORD offset_high)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (position_type != TAPE_LOGICAL_POSITION)
        return answer(ERROR_INVALID_FUNCTION);
    if (partition == nullptr || offset_low == nullptr || offset_high == nullptr)
        return answer(ERROR_INVALID_PARAMETER);
    uint8_t data[20] = {};
    DWORD code = code_of(read_position(*drive, data), motion_t::none);
    if (code != NO_ERROR)
        return answer(code);
    if (data[0] & 0x04)
        return answer(ERROR_IO_DEVICE);  // BPU: the drive does not know where it is
    *partition = data[1];
    *offset_low = (DWORD{data[4]} << 24) | (DWORD{data[5]} << 16) | (DWORD{data[6]} << 8) | data[7];
    *offset_high = 0;
    return NO_ERROR;
}

// Plain, short and long filemarks are all one kind of mark on the drives reached here.
DWORD WriteTapemark(HANDLE device, DWORD tapemark_type, DWORD count, BOOL /*immediate*/)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (tapemark_type == TAPE_SETMARKS || tapemark_type > TAPE_LONG_FILEMARKS)
        return answer(ERROR_INVALID_FUNCTION);
    if (count > transfer_length_max)
        return answer(ERROR_INVALID_PARAMETER);
    // In the early-warning zone the marks are written and ERROR_END_OF_MEDIA says so.
    return answer(code_of(write_filemarks6(*drive, count), motion_t::forward));
}

DWORD PrepareTape(HANDLE device, DWORD operation, BOOL /*immediate*/)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (operation != TAPE_LOAD && operation != TAPE_UNLOAD)
        return answer(ERROR_INVALID_FUNCTION);
    return answer(code_of(load_unload(*drive, operation == TAPE_LOAD), motion_t::none));
}

DWORD EraseTape(HANDLE device, DWORD erase_type, BOOL /*immediate*/)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (erase_type != TAPE_ERASE_SHORT && erase_type != TAPE_ERASE_LONG)
        return answer(ERROR_INVALID_PARAMETER);
    return answer(code_of(erase6(*drive, erase_type == TAPE_ERASE_LONG), motion_t::none));
}
