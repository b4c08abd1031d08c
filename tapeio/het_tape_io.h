// A HET tape image: Hercules' AWS with compression. Chunk headers as AWS; besides its flags 0x80
// (first chunk), 0x20 (last) and 0x40 (tape mark), flags1 holds the compression in its low two
// bits (1 zlib, 2 bzip2), and flags2 0x80 marks another zlib variant (read as zlib). A record is
// compressed whole, kept compressed only when that is shorter, then cut into chunks like an AWS
// record; every chunk of a record carries the same bits. Writing compresses as the handle's
// compression and compression_level say (zlib at level 4 unless told, as Hercules' hetupd does).
// A record holds up to 16 MiB - 1 bytes, compressed or not (Hercules itself writes up to 65,535).
// A compressed record that does not expand whole is damage; a bzip2 record in a build without
// bzip2 fails with ERROR_NOT_SUPPORTED. Stepping over a compressed record expands it to learn
// its length.
#pragma once

#include "tapeio/aws_tape_io.h"

class het_tape_io_t : public aws_tape_io_t {
public:
    uint32_t largest_record() override;

protected:
    int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;
    bool known_flags(const uint8_t* header) override;
    uint8_t chunk_method(const uint8_t* header) override;
    int32_t record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                           chunk_t* chunk) override;
    int32_t record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                            const chunk_t& first, uint64_t stored) override;

private:
    int32_t expand(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver, bool tail,
                   uint8_t method, uint32_t stored);
};
