// Every operation of a tape driver by name, so that a table of cases can say which one a row runs.
#pragma once

#include "tapeio/tape_io.h"

enum class op_t { read_forward, read_reverse, space_file_forward, space_file_reverse, space_record_forward,
    space_record_reverse, step_record_forward, step_record_reverse, write_tape_mark, rewind, write_record, erase,
    flush, setup, unload };

// size: the buffer's, for reads and every other operation; n: the count of a record space or step,
// the length of a record written.
inline int32_t run_op(tape_io_t& d, op_t op, tape_io_handle_t* h, uint8_t* b, uint32_t size, uint32_t n)
{
    switch (op) {
    case op_t::read_forward: return d.read_forward(h, b, size);
    case op_t::read_reverse: return d.read_reverse(h, b, size);
    case op_t::space_file_forward: return d.space_file_forward(h, b, size);
    case op_t::space_file_reverse: return d.space_file_reverse(h, b, size);
    case op_t::space_record_forward: return d.space_record_forward(h, b, size, n);
    case op_t::space_record_reverse: return d.space_record_reverse(h, b, size, n);
    case op_t::step_record_forward: return d.step_record_forward(h, b, size, n);
    case op_t::step_record_reverse: return d.step_record_reverse(h, b, size, n);
    case op_t::write_tape_mark: return d.write_tape_mark(h, b, size);
    case op_t::rewind: return d.rewind(h, b, size);
    case op_t::write_record: return d.write_record(h, b, n);
    case op_t::erase: return d.erase(h, b, size);
    case op_t::flush: return d.flush(h, b, size);
    case op_t::setup: return d.setup(h, b, size);
    case op_t::unload: return d.unload(h, b, size);
    }
    return 0x7FFFFFFF;
}
