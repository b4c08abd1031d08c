// WRITE(6), WRITE FILEMARKS(6), ERASE. Every write ends the medium after what it wrote, as tape does.
// Capacity counts medium file bytes, headers included: a record of n bytes takes 8 + n, a mark 8.
#include <cstring>

#include "vtape/vtape.h"

namespace {

constexpr uint32_t header_size = 8;

vtape_result_t write_protected()
{
    return vtape_check(vtape_sense::data_protect, vtape_sense::write_protected);
}

// Nothing (more) was written: the tape stays after the last block written.
vtape_result_t overflow(uint32_t residue)
{
    vtape_result_t result = vtape_check(vtape_sense::volume_overflow, vtape_sense::end_of_medium_detected);
    result.sense.eom = true;
    result.sense.valid = true;
    result.sense.information = static_cast<int32_t>(residue);
    return result;
}

// Written, and inside the early-warning zone: the tape is after the block written.
vtape_result_t early_warning()
{
    vtape_result_t result = vtape_check(vtape_sense::no_sense, vtape_sense::end_of_medium_detected);
    result.sense.eom = true;
    result.sense.valid = true;
    return result;
}

vtape_result_t write_failure(int32_t driver_result, uint32_t residue)
{
    if (driver_result == -2)
        return vtape_check(vtape_sense::hardware_error, vtape_sense::internal_target_failure);
    vtape_result_t result = vtape_check(vtape_sense::medium_error, vtape_sense::write_error);
    result.sense.valid = true;
    result.sense.information = static_cast<int32_t>(residue);
    return result;
}

}  // namespace

bool vtape_t::overflows(uint64_t end) const { return options_.capacity != 0 && end > options_.capacity; }

bool vtape_t::past_early_warning(uint64_t end) const
{
    return options_.early_warning != 0 && end > options_.capacity - options_.early_warning;
}

// Byte 1 bit 0 FIXED (refused, variable blocks only); bytes 2-4 the record length, which must lie
// within the block limits.
vtape_result_t vtape_t::write6(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    if (cdb[1] & 0x01)
        return vtape_invalid_cdb(1);
    const uint32_t n = vtape_be24(cdb + 2);
    if (n != 0 && (n < options_.min_block || n > options_.max_block))
        return vtape_invalid_cdb(2);
    if (options_.write_protected)
        return write_protected();
    if (n == 0)  // nothing to write: the tape stays
        return vtape_good();
    if (!vtape_data_out_ok(command, n))
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    const uint64_t end = handle_.position + header_size + n;
    if (overflows(end))
        return overflow(n);
    uint8_t* buffer = scratch(header_size + n);
    std::memcpy(buffer + header_size, command.data, n);
    const int32_t r = driver_.write_record(&handle_, buffer, n);
    if (r != static_cast<int32_t>(n))
        return write_failure(r, n);
    return past_early_warning(end) ? early_warning() : vtape_good();
}

// Byte 1: bit 0 IMMED (accepted; every command completes before it returns), bit 1 WSMK (setmarks,
// refused). Bytes 2-4: the count; 0 writes out buffered data and no mark.
vtape_result_t vtape_t::write_filemarks6(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    if (cdb[1] & 0x02)
        return vtape_invalid_cdb(1);
    const uint32_t count = vtape_be24(cdb + 2);
    if (count == 0) {  // a flush writes nothing, so it is allowed on a protected medium too
        if (options_.write_protected)
            return vtape_good();
        const int32_t r = driver_.flush(&handle_, scratch(header_size), header_size);
        return r == 0 ? vtape_good() : write_failure(-1, 0);
    }
    if (options_.write_protected)
        return write_protected();
    for (uint32_t written = 0; written < count; ++written) {
        const uint64_t end = handle_.position + header_size;
        if (overflows(end))
            return overflow(count - written);
        const int32_t r = driver_.write_tape_mark(&handle_, scratch(header_size), header_size);
        if (r != 0)
            return write_failure(r, count - written);
    }
    return past_early_warning(handle_.position) ? early_warning() : vtape_good();
}

// Byte 1: bit 0 LONG, bit 1 IMMED. Short and long erase alike end the medium at the tape position,
// which stays where it is.
vtape_result_t vtape_t::erase(const vtape_command_t&)
{
    if (options_.write_protected)
        return write_protected();
    if (driver_.erase(&handle_, scratch(header_size), header_size) != 0)
        return write_failure(-1, 0);
    return vtape_good();
}
