// One image driver (tap, e11, aws or het, chosen by BRX_FUZZ_IMAGE when built) under random
// operation sequences over random files and over images made of records here, with a raw tail.
// Beyond the sanitizers: two handles on copies of the file, one reading and writing through a
// 16-byte buffer and one through the default 256 KiB, give the same results, positions, data and
// files; an image made here reads back as its records, and ends there when its tail is too short
// to begin a block; walks both ways end, every step moving the position.
#include <algorithm>

#include "fuzz/image_writer_posix.h"
#include "platform/platform.h"
#include "tapeio/aws_tape_io.h"
#include "tapeio/e11_tape_io.h"
#include "tapeio/het_tape_io.h"
#include "tapeio/simh_tap_tape_io.h"

namespace {

simh_tap_tape_io_t tap;
e11_tape_io_t e11;
aws_tape_io_t aws;
het_tape_io_t het;
image_tape_io_t* const drivers[] = {&tap, &e11, &aws, &het};
image_tape_io_t& driver = *drivers[BRX_FUZZ_IMAGE];
const uint32_t units[] = {4, 4, 6, 6};  // the length word or chunk header
const uint32_t unit = units[BRX_FUZZ_IMAGE];

struct side_t {
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
    tape_io_handle_t handle;
    bytes_t buffer;
    int32_t result = 0;
};

void open_side(side_t& side, const bytes_t& content, const char* name, uint32_t capacity)
{
    side.path = scratch_file(name);
    write_file(side.path, content);
    side.file = CreateFileA(side.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FUZZ_CHECK(side.file != INVALID_HANDLE_VALUE);
    side.handle.attach(side.file);
    FUZZ_CHECK(image_buffer(&side.handle, capacity));
    side.buffer.assign(1 << 16, 0);
    FUZZ_CHECK(driver.setup(&side.handle, side.buffer.data(), 64) == 1);
}

int32_t run_operation(side_t& side, uint8_t code, uint32_t size, uint32_t length, uint8_t fill)
{
    tape_io_handle_t* h = &side.handle;
    uint8_t* b = side.buffer.data();
    switch (code) {
    case 0: return driver.read_forward(h, b, size);
    case 1: return driver.read_reverse(h, b, size);
    case 2: return driver.space_file_forward(h, b, size);
    case 3: return driver.space_file_reverse(h, b, size);
    case 4: return driver.step_record_forward(h, b, size, 1);
    case 5: return driver.step_record_reverse(h, b, size, 1);
    case 6:
        std::fill(side.buffer.begin() + unit, side.buffer.begin() + unit + length, fill);
        h->bad_record = fill % 5 == 0;
        return driver.write_record(h, b, length);
    case 7: return driver.write_tape_mark(h, b, size);
    case 8: return driver.erase(h, b, size);
    default: return driver.rewind(h, b, size);
    }
}

// The same operations on both sides; everything they answer must agree.
void run_both(FuzzedDataProvider& input, side_t& small, side_t& large)
{
    for (int operations = 0; operations < 48 && input.remaining_bytes() > 0; ++operations) {
        const uint8_t code = input.ConsumeIntegralInRange<uint8_t>(0, 9);
        const uint32_t size = input.ConsumeIntegralInRange<uint32_t>(8, 1 << 16);
        const uint32_t length = input.ConsumeIntegralInRange<uint32_t>(0, 3000);
        const uint8_t fill = input.ConsumeIntegral<uint8_t>();
        for (side_t* side : {&small, &large}) {
            side->handle.compression = fill % 3;
            side->result = run_operation(*side, code, size, length, fill);
        }
        const tape_io_handle_t &a = small.handle, &b = large.handle;
        FUZZ_CHECK(small.result == large.result && a.last_error == b.last_error && a.position == b.position);
        FUZZ_CHECK(a.block_count == b.block_count && a.prev_offset == b.prev_offset && a.bad_record == b.bad_record);
        if (code <= 1 && small.result > 0) {
            const size_t shown = std::min<size_t>(static_cast<size_t>(small.result), size - unit);
            FUZZ_CHECK(std::equal(small.buffer.begin() + unit, small.buffer.begin() + unit + shown, large.buffer.begin() + unit));
        }
    }
    FUZZ_CHECK(image_flush(&small.handle) == 0 && image_flush(&large.handle) == 0);
    FUZZ_CHECK(read_file(small.path) == read_file(large.path));
}

// A made image reads back as its records; a tail too short for a block is the end of the data.
void read_back(side_t& side, const std::vector<bytes_t>& records, size_t tail)
{
    FUZZ_CHECK(driver.rewind(&side.handle, side.buffer.data(), 64) == 1);
    for (const bytes_t& record : records) {
        const int32_t result = driver.read_forward(&side.handle, side.buffer.data(), static_cast<uint32_t>(side.buffer.size()));
        FUZZ_CHECK(result == static_cast<int32_t>(record.size()) && !side.handle.bad_record);
        FUZZ_CHECK(std::equal(record.begin(), record.end(), side.buffer.begin() + unit));
    }
    if (tail < unit)
        FUZZ_CHECK(driver.read_forward(&side.handle, side.buffer.data(), 64) == -2 && side.handle.last_error == 0);
}

void walk_both_ways(side_t& side, uint64_t size)
{
    for (int direction = 0; direction < 2; ++direction) {
        uint64_t steps_left = size / 2 + 2, before = side.handle.position;
        while ((direction == 0 ? driver.space_record_forward(&side.handle, side.buffer.data(), 64, 1)
                               : driver.space_record_reverse(&side.handle, side.buffer.data(), 64, 1)) == 0) {
            FUZZ_CHECK(direction == 0 ? side.handle.position > before : side.handle.position < before);
            FUZZ_CHECK(steps_left-- > 0);
            before = side.handle.position;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool made = input.ConsumeBool();
    std::vector<bytes_t> records;
    bytes_t content;
    size_t tail = 0;
    if (made) {
        records.resize(input.ConsumeIntegralInRange<size_t>(0, 10));
        for (bytes_t& record : records)  // a few long ones, and runs that compress
            record.assign(input.ConsumeIntegralInRange<size_t>(0, 700), input.ConsumeIntegral<uint8_t>());
        for (bytes_t& record : records)
            for (size_t i = 0; i < record.size(); i += input.ConsumeIntegralInRange<size_t>(1, 64))
                record[i] = input.ConsumeIntegral<uint8_t>();
        const uint32_t chunk = input.ConsumeIntegralInRange<uint32_t>(1, 800);
        content = foreign_image(static_cast<fuzz_format_t>(BRX_FUZZ_IMAGE), records, chunk,
                                input.ConsumeIntegralInRange<int>(1, 2));
        const bytes_t raw = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 9));
        tail = raw.size();
        content.insert(content.end(), raw.begin(), raw.end());
    } else {
        content = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 4096));
    }
    const int descriptors = open_descriptors();
    {
        side_t small, large;
        open_side(small, content, "small.img", 16);
        open_side(large, content, "large.img", image_buffer_default);
        if (made)
            read_back(small, records, tail);
        driver.rewind(&small.handle, small.buffer.data(), 64);
        run_both(input, small, large);
        walk_both_ways(large, read_file(large.path).size());
        CloseHandle(small.file);
        CloseHandle(large.file);
    }
    FUZZ_CHECK(open_descriptors() == descriptors);
    return 0;
}
