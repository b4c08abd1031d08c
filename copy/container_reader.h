// Reads a container file forwards, block by block, through a standard I/O stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tapeio/container_header.h"

enum class container_read_t {
    block,              // a whole block: the header, and for a record its data in the buffer
    end,                // the file ends at a block boundary or inside a header (1 to 7 bytes)
    header_failed,      // the header could not be read and the file is not at its end (see errno)
    too_long,           // the length exceeds the buffer; nothing of the data was read
    data_short_at_end,  // the file ends inside the record's data
    data_failed,        // the data read stopped on an error (the stream's error indicator, errno)
    data_short,         // the data read stopped short with neither end of file nor error
};

// Reads the next block at the stream's position: the header with one 8-byte fread, then the
// record's header.length data bytes into buffer (at most capacity bytes). header is filled
// whenever a whole header was read, also for the data failures.
container_read_t container_read_block(FILE* stream, uint8_t* buffer, uint32_t capacity,
                                      container_header_t& header);
