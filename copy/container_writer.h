// Writes a container file block by block through a standard I/O stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tapeio/container_header.h"

struct container_writer_t {
    FILE* stream = nullptr;  // opened "wb" by the caller, which also closes it
    // Offset of the last header written; container_no_previous before the first block.
    uint64_t previous_header_offset = container_no_previous;
    // Bytes written so far, the offset of the next header. Counted here rather than asked of the
    // stream, so that a pipe, which has no offset, takes the same bytes as a file.
    uint64_t bytes_written = 0;
};

// Starts the next block: writes its header (length 0 is a tape mark) as one 8-byte item at
// bytes_written and flushes the stream, so each header reaches the file before the record's
// data. false when the header cannot be written and flushed (errno tells why; the caller
// reports it with perror). previous_header_offset moves on only when the header was written.
bool container_write_header(container_writer_t& writer, uint32_t length);

// Writes a record's data after its header. false when fewer than length bytes were written.
bool container_write_data(container_writer_t& writer, const void* data, uint32_t length);

// Writes a whole block as one item, so that an unbuffered stream takes it in one write: its header
// goes into the 8 bytes in front of data, which the caller gives up. false when not all was written.
bool container_write_block(container_writer_t& writer, uint8_t* data, uint32_t length);
