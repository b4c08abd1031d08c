// SPACE(6), REWIND, LOAD UNLOAD, LOCATE(10), READ POSITION: movements without data.
#include "vtape/vtape.h"

namespace {

constexpr uint32_t header_size = 8;

// Residues of SPACE are the requested count minus the blocks (or marks) passed, signed as the
// count is: negative when spacing backwards.
vtape_result_t stopped(uint8_t key, vtape_asc_t code, int64_t residue)
{
    vtape_result_t result = vtape_check(key, code);
    result.sense.valid = true;
    result.sense.information = static_cast<int32_t>(residue);
    return result;
}

vtape_result_t at_filemark(int64_t residue)
{
    vtape_result_t result = stopped(vtape_sense::no_sense, vtape_sense::filemark_detected, residue);
    result.sense.filemark = true;
    return result;
}

vtape_result_t at_end_of_data(int64_t residue)
{
    return stopped(vtape_sense::blank_check, vtape_sense::end_of_data_detected, residue);
}

vtape_result_t beginning_reached(int64_t residue)
{
    vtape_result_t result = stopped(vtape_sense::no_sense, vtape_sense::beginning_of_medium_detected, residue);
    result.sense.eom = true;
    return result;
}

vtape_result_t movement_failure(int32_t driver_result)
{
    if (driver_result == -3)
        return vtape_check(vtape_sense::hardware_error, vtape_sense::internal_target_failure);
    return vtape_check(vtape_sense::medium_error, vtape_sense::unrecovered_read_error);
}

bool end_of_data(int32_t driver_result, const tape_io_handle_t& handle)
{
    return driver_result == -2 && handle.last_error == 0;
}

}  // namespace

// Byte 1 bits 3-0: code 0 blocks, 1 filemarks, 3 end of data (2 sequential filemarks and 4 setmarks
// are refused). Bytes 2-4: a signed count, negative backwards.
vtape_result_t vtape_t::space6(const vtape_command_t& command)
{
    const uint8_t code = command.cdb[1] & 0x0F;
    const uint32_t raw = vtape_be24(command.cdb + 2);
    const bool backwards = (raw & 0x800000u) != 0;
    const uint32_t count = backwards ? 0x1000000u - raw : raw;
    switch (code) {
    case 0:
        return backwards ? space_blocks_reverse(count) : space_blocks_forward(count);
    case 1:
        return backwards ? space_filemarks_reverse(count) : space_filemarks_forward(count);
    case 3:
        return space_to_end_of_data();
    default:
        return vtape_invalid_cdb(1);
    }
}

// Stops after a tape mark (FILEMARK) or at the end of data (BLANK CHECK); else after count blocks.
vtape_result_t vtape_t::space_blocks_forward(uint32_t count)
{
    for (uint32_t passed = 0; passed < count; ++passed) {
        const int32_t r = driver_.step_record_forward(&handle_, scratch(header_size), header_size, 1);
        if (r == 0)
            return at_filemark(int64_t{count} - passed);
        if (end_of_data(r, handle_))
            return at_end_of_data(int64_t{count} - passed);
        if (r == -2 || r == -3)
            return movement_failure(r);
    }
    return vtape_good();
}

// Stops before a tape mark it has passed (FILEMARK) or at the beginning (EOM); else count blocks back.
vtape_result_t vtape_t::space_blocks_reverse(uint32_t count)
{
    for (uint32_t passed = 0; passed < count; ++passed) {
        if (at_beginning())
            return beginning_reached(-(int64_t{count} - passed));
        const int32_t r = driver_.step_record_reverse(&handle_, scratch(header_size), header_size, 1);
        if (r == 0)
            return at_filemark(-(int64_t{count} - passed));
        if (r == -1 || r == -3)
            return movement_failure(r);
    }
    return vtape_good();
}

// Stops after the count-th mark, or at the end of data (BLANK CHECK).
vtape_result_t vtape_t::space_filemarks_forward(uint32_t count)
{
    for (uint32_t passed = 0; passed < count; ++passed) {
        const int32_t r = driver_.space_file_forward(&handle_, scratch(header_size), header_size);
        if (end_of_data(r, handle_))
            return at_end_of_data(int64_t{count} - passed);
        if (r != 0)
            return movement_failure(r);
    }
    return vtape_good();
}

// Stops before the count-th mark back, or at the beginning (EOM).
vtape_result_t vtape_t::space_filemarks_reverse(uint32_t count)
{
    for (uint32_t passed = 0; passed < count; ++passed) {
        if (at_beginning())
            return beginning_reached(-(int64_t{count} - passed));
        const int32_t r = driver_.space_file_reverse(&handle_, scratch(header_size), header_size);
        if (r == -1 && handle_.position == 0 && handle_.last_error == 0)
            return beginning_reached(-(int64_t{count} - passed));
        if (r != 0)
            return movement_failure(r);
    }
    return vtape_good();
}

// The tape ends at the end of data, ready for appending.
vtape_result_t vtape_t::space_to_end_of_data()
{
    for (;;) {
        const int32_t r = driver_.step_record_forward(&handle_, scratch(header_size), header_size, 1);
        if (end_of_data(r, handle_))
            return vtape_good();
        if (r == -2 || r == -3)
            return movement_failure(r);
    }
}

bool vtape_t::at_beginning()
{
    uint64_t previous = 0;
    return driver_.get_prev_offset(&handle_, &previous) < 0;
}

// Byte 1 bit 0 IMMED is accepted: the tape is at its beginning when the command returns.
vtape_result_t vtape_t::rewind(const vtape_command_t&)
{
    if (driver_.rewind(&handle_, scratch(header_size), header_size) != 1)
        return movement_failure(-3);
    return vtape_good();
}

// Byte 4: bit 0 LOAD, bit 1 RETEN, bit 2 EOT (with LOAD refused). Both rewind; after an unload
// every medium command answers NOT READY until the next load.
vtape_result_t vtape_t::load_unload(const vtape_command_t& command)
{
    const uint8_t flags = command.cdb[4];
    const bool load = (flags & 0x01) != 0;
    if (load && (flags & 0x04))
        return vtape_invalid_cdb(4);
    if (driver_.rewind(&handle_, scratch(header_size), header_size) != 1)
        return movement_failure(-3);
    loaded_ = load;
    return vtape_good();
}

// Byte 1: bit 1 CP (change partition: only partition 0 exists), bit 2 BT (block addresses are
// logical either way). Bytes 3-6: the block index to go to; past the end of data: BLANK CHECK there.
// A drive without it (nolocate) answers as for an unknown command; the tape stays.
vtape_result_t vtape_t::locate10(const vtape_command_t& command)
{
    if (options_.no_locate) {
        vtape_result_t refused = vtape_check(vtape_sense::illegal_request, vtape_sense::invalid_command_operation_code);
        refused.sense.field_pointer = refused.sense.in_cdb = true;
        return refused;
    }
    if ((command.cdb[1] & 0x02) && command.cdb[8] != 0)
        return vtape_invalid_cdb(8);
    const uint32_t target = vtape_be32(command.cdb + 3);
    if (driver_.rewind(&handle_, scratch(header_size), header_size) != 1)
        return movement_failure(-3);
    while (block_index() < target) {
        const int32_t r = driver_.step_record_forward(&handle_, scratch(header_size), header_size, 1);
        if (end_of_data(r, handle_))
            return vtape_check(vtape_sense::blank_check, vtape_sense::end_of_data_detected);
        if (r == -2 || r == -3)
            return movement_failure(r);
    }
    return vtape_good();
}

// Short form only (service action 0): BOP and EOP flags, first and last block location (both the
// block index), nothing buffered.
vtape_result_t vtape_t::read_position(const vtape_command_t& command)
{
    if ((command.cdb[1] & 0x1F) != 0)
        return vtape_invalid_cdb(1);
    uint8_t bytes[20] = {};
    if (handle_.position == 0)
        bytes[0] |= 0x80;  // BOP
    if (options_.capacity != 0 && handle_.position >= options_.capacity - options_.early_warning)
        bytes[0] |= 0x40;  // EOP: in the early-warning zone or beyond
    const uint32_t block = options_.zero_position ? 0 : block_index();
    vtape_put_be32(bytes + 4, block);
    vtape_put_be32(bytes + 8, block);
    return vtape_deliver(command, bytes, sizeof bytes, sizeof bytes);
}
