// brxtool's format detection, and the reading after it, on random bytes and on images made here
// in every format with a raw tail. Beyond the sanitizers: the same bytes through a pipe (which
// detection may only peek at) and from a file give the same format and then the same blocks, data
// and end; an image made in any format is never taken for none.
#include <unistd.h>

#include <algorithm>

#include "brxtool/tape.h"
#include "fuzz/image_writer_posix.h"

namespace {

bytes_t content_of(FuzzedDataProvider& input, bool& made)
{
    made = input.ConsumeBool();
    if (!made)
        return input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 4096));
    const int format = input.ConsumeIntegralInRange<int>(0, 4);
    std::vector<bytes_t> records(input.ConsumeIntegralInRange<size_t>(1, 10));
    for (bytes_t& record : records) {
        record.assign(input.ConsumeIntegralInRange<size_t>(0, 600), input.ConsumeIntegral<uint8_t>());
        for (size_t i = 0; i < record.size(); i += input.ConsumeIntegralInRange<size_t>(1, 64))
            record[i] = input.ConsumeIntegral<uint8_t>();
    }
    bytes_t content = format == 4 ? container_of(records)
                                  : foreign_image(static_cast<fuzz_format_t>(format), records,
                                                  input.ConsumeIntegralInRange<uint32_t>(1, 800),
                                                  input.ConsumeIntegralInRange<int>(1, 2));
    const bytes_t tail = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 9));
    content.insert(content.end(), tail.begin(), tail.end());
    return content;
}

// The blocks as brxtool reads them: kind, length, data, until the end or a failure.
std::vector<bytes_t> blocks_of(tape_t& tape)
{
    std::vector<bytes_t> blocks;
    for (;;) {
        block_t block = read_block(tape);
        bytes_t seen = {static_cast<uint8_t>(block.kind), static_cast<uint8_t>(block.bad)};
        if (block.kind == block_kind_t::record)
            seen.insert(seen.end(), block.data, block.data + block.length);
        blocks.push_back(seen);
        if (block.kind != block_kind_t::record && block.kind != block_kind_t::mark)
            return blocks;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    bool made = false;
    const bytes_t content = content_of(input, made);
    if (content.size() > 60000)
        return 0;  // more than a pipe takes before its reader starts
    const int descriptors = open_descriptors();
    const std::string path = scratch_file("detect.img");
    write_file(path, content);
    int ends[2];
    FUZZ_CHECK(pipe(ends) == 0);
    FUZZ_CHECK(write(ends[1], content.data(), content.size()) == static_cast<ssize_t>(content.size()));
    close(ends[1]);
    {
        tape_t file, piped;
        const bool opened = open_tape(path, format_t::unknown, file);
        FUZZ_CHECK(open_tape("/dev/fd/" + std::to_string(ends[0]), format_t::unknown, piped) == opened);
        FUZZ_CHECK(opened || !made);
        if (opened) {
            FUZZ_CHECK(file.format == piped.format);
            FUZZ_CHECK(blocks_of(file) == blocks_of(piped));
            FUZZ_CHECK(file.stray == piped.stray);
        }
    }
    close(ends[0]);
    FUZZ_CHECK(open_descriptors() == descriptors);
    return 0;
}
