// READ(6), variable-block: one record per command, measured against the requested length.
#include <algorithm>
#include <cstring>

#include "vtape/vtape.h"

namespace {

constexpr uint32_t header_size = 8;

vtape_result_t with_residue(vtape_result_t result, int32_t residue)
{
    result.sense.valid = true;
    result.sense.information = residue;
    return result;
}

// A failed file operation: the driver has put the tape back in front of the block.
vtape_result_t read_failure(int32_t driver_result, uint32_t requested)
{
    if (driver_result == -3)
        return vtape_check(vtape_sense::hardware_error, vtape_sense::internal_target_failure);
    return with_residue(vtape_check(vtape_sense::medium_error, vtape_sense::unrecovered_read_error),
                        static_cast<int32_t>(requested));
}

}  // namespace

// Byte 1: bit 0 FIXED (refused: this drive writes and reads variable blocks only), bit 1 SILI.
// Bytes 2-4: the requested length n.
vtape_result_t vtape_t::read6(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    if (cdb[1] & 0x01)
        return vtape_invalid_cdb(1);
    const bool sili = (cdb[1] & 0x02) != 0;
    const uint32_t n = vtape_be24(cdb + 2);
    if (n == 0)  // nothing asked: the tape stays
        return vtape_good();
    if (command.direction != SCSI_IOCTL_DATA_IN || !command.data || command.data_length < n)
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    if (bad_block_here()) {
        // In front of the bad block, so a retry reads it again; or behind it, as some drives leave it.
        if (options_.past_bad)
            driver_.step_record_forward(&handle_, scratch(header_size), header_size, 1);
        return with_residue(vtape_check(vtape_sense::medium_error, vtape_sense::unrecovered_read_error),
                            static_cast<int32_t>(n));
    }
    uint8_t* buffer = scratch(header_size + n);
    const int32_t r = driver_.read_forward(&handle_, buffer, header_size + n);
    if (r == -2 && handle_.last_error == 0)  // end of data: the tape stays there
        return with_residue(vtape_check(vtape_sense::blank_check, vtape_sense::end_of_data_detected),
                            static_cast<int32_t>(n));
    if (r == -1 || r == -2 || r == -3)
        return read_failure(r, n);
    if (r == 0) {  // a tape mark: the tape is after it
        vtape_result_t mark = vtape_check(vtape_sense::no_sense, vtape_sense::filemark_detected);
        mark.sense.filemark = true;
        return with_residue(mark, static_cast<int32_t>(n));
    }
    // A record: the tape is after all of it, however much was moved.
    const uint32_t length = static_cast<uint32_t>(r);
    const uint32_t moved = std::min(length, n);
    std::memcpy(command.data, buffer + header_size, moved);
    if (length == n || (length < n && sili))
        return vtape_good(moved);
    vtape_result_t odd = vtape_check(vtape_sense::no_sense, vtape_sense::no_additional_sense);
    odd.sense.ili = true;
    odd.moved = moved;
    return with_residue(odd, static_cast<int32_t>(n - length));
}

// A block named by bad= that still fails; each failure is counted.
bool vtape_t::bad_block_here()
{
    const uint32_t index = block_index();
    for (vtape_bad_block_t& bad : options_.bad_blocks) {
        if (bad.index != index || (!bad.always && bad.failures == 0))
            continue;
        if (medium_size() < handle_.position + header_size)  // no block here: end of data
            return false;
        if (!bad.always) {
            --bad.failures;
            count_failure(index);
        }
        return true;
    }
    return false;
}

// The file's length; the file pointer goes back to the tape position, as the driver expects.
uint64_t vtape_t::medium_size()
{
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(medium_, 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return 0;
    const uint64_t size = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
    LONG position_high = static_cast<LONG>(handle_.position >> 32);
    SetFilePointer(medium_, static_cast<LONG>(handle_.position & 0xFFFFFFFFu), &position_high, FILE_BEGIN);
    return size;
}
