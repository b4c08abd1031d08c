// The container-file driver under random operation sequences over random files. Beyond the
// sanitizers: the file pointer stays on the tape position; on a file whose whole blocks chain (any
// tail allowed: a record cut off by the end of the file, a partial header) every position is a
// header boundary with the block count its index, reads deliver the blocks there, and writes and
// erases keep the file so; walks both ways end, one block per step.
#include <algorithm>

#include "fuzz/fuzz_support_posix.h"
#include "platform/platform.h"
#include "tapeio/brx_file_tape_io.h"

namespace {

brx_file_tape_io_t driver;

// Chained records with a raw tail, or raw bytes.
bytes_t file_of(FuzzedDataProvider& input)
{
    if (input.ConsumeBool())
        return input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 2048));
    std::vector<bytes_t> records(input.ConsumeIntegralInRange<size_t>(0, 12));
    for (bytes_t& record : records)
        record = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
    bytes_t file = container_of(records);
    const bytes_t tail = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 12));
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

uint64_t file_pointer(HANDLE file)
{
    LONG high = 0;
    const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
    return (uint64_t{static_cast<uint32_t>(high)} << 32) | low;
}

// Index of the boundary at position among the whole blocks' headers and their end; -1 for none.
long boundary_index(const container_walk_t& walk, uint64_t position)
{
    if (position == walk.end)
        return static_cast<long>(walk.offsets.size());
    auto found = std::lower_bound(walk.offsets.begin(), walk.offsets.end(), position);
    return found != walk.offsets.end() && *found == position ? found - walk.offsets.begin() : -1;
}

struct operation_t {
    uint8_t code;
    int32_t result;
    bytes_t buffer;
};

operation_t run_operation(FuzzedDataProvider& input, tape_io_handle_t& handle)
{
    operation_t op{input.ConsumeIntegralInRange<uint8_t>(0, 13), 0, {}};
    const uint32_t size = input.ConsumeIntegralInRange<uint32_t>(0, 400);
    // Reads get exactly what they are told; the rest at least room for a header, as every caller gives.
    op.buffer.resize(op.code <= 1 ? std::max<uint32_t>(size, 1) : size + 8);
    uint8_t* buffer = op.buffer.data();
    const uint32_t count = input.ConsumeIntegral<uint32_t>();
    switch (op.code) {
    case 0: op.result = driver.read_forward(&handle, buffer, size); break;
    case 1: op.result = driver.read_reverse(&handle, buffer, size); break;
    case 2: op.result = driver.space_file_forward(&handle, buffer, size + 8); break;
    case 3: op.result = driver.space_file_reverse(&handle, buffer, size + 8); break;
    case 4: op.result = driver.space_record_forward(&handle, buffer, size + 8, count); break;
    case 5: op.result = driver.space_record_reverse(&handle, buffer, size + 8, count); break;
    case 6: op.result = driver.step_record_forward(&handle, buffer, size + 8, count); break;
    case 7: op.result = driver.step_record_reverse(&handle, buffer, size + 8, count); break;
    case 8:
        std::fill(op.buffer.begin() + 8, op.buffer.end(), static_cast<uint8_t>(count));
        op.result = driver.write_record(&handle, buffer, size);
        break;
    case 9: op.result = driver.write_tape_mark(&handle, buffer, size + 8); break;
    case 10: op.result = driver.erase(&handle, buffer, size + 8); break;
    case 11: op.result = driver.rewind(&handle, buffer, size + 8); break;
    case 12: op.result = driver.flush(&handle, buffer, size + 8); break;
    default: op.result = driver.unload(&handle, buffer, size + 8); break;
    }
    return op;
}

// A read on a chained file delivers the block it passed: its length, and the data that fit.
void check_read(const operation_t& op, const container_walk_t& walk, long before, long after)
{
    if (op.code > 1 || op.result < 0)
        return;
    const long block = op.code == 0 ? before : after;
    FUZZ_CHECK(block >= 0 && block < static_cast<long>(walk.records.size()) && after - before == (op.code == 0 ? 1 : -1));
    const bytes_t& record = walk.records[static_cast<size_t>(block)];
    FUZZ_CHECK(static_cast<size_t>(op.result) == record.size());
    const size_t room = std::min(record.size(), op.buffer.size() - 8);
    const auto from = op.code == 0 ? record.begin() : record.end() - static_cast<long>(room);
    FUZZ_CHECK(std::equal(from, from + static_cast<long>(room), op.buffer.begin() + 8));
}

void check_chained(const tape_io_handle_t& handle, const container_walk_t& walk_before, long before,
                   const operation_t& op, const container_walk_t& walk_after)
{
    const long index = boundary_index(walk_after, handle.position);
    FUZZ_CHECK(index >= 0);
    FUZZ_CHECK(handle.block_count == index);
    // Before the first block any offset from 1 to 7 says "no previous block": a first block may carry any.
    if (index == 0)
        FUZZ_CHECK(handle.prev_offset >= 1 && handle.prev_offset < 8);
    else
        FUZZ_CHECK(handle.prev_offset == walk_after.offsets[static_cast<size_t>(index - 1)]);
    FUZZ_CHECK(walk_after.chained);
    if (op.code >= 8 && op.code <= 10 && op.result >= 0)
        FUZZ_CHECK(walk_after.whole && walk_after.end == handle.position);
    check_read(op, walk_before, before, index);
}

// Every step moves the position one way until the driver says there is no further block.
void walk_both_ways(tape_io_handle_t& handle, uint64_t size)
{
    uint8_t buffer[8];
    for (int direction = 0; direction < 2; ++direction) {
        uint64_t steps_left = size / 8 + 2;
        uint64_t before = handle.position;
        while ((direction == 0 ? driver.space_record_forward(&handle, buffer, sizeof buffer, 1)
                               : driver.space_record_reverse(&handle, buffer, sizeof buffer, 1)) == 0) {
            FUZZ_CHECK(direction == 0 ? handle.position > before : handle.position < before);
            FUZZ_CHECK(steps_left-- > 0);
            before = handle.position;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string path = scratch_file("tape.brx");
    write_file(path, file_of(input));
    const int descriptors = open_descriptors();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FUZZ_CHECK(file != INVALID_HANDLE_VALUE);
    tape_io_handle_t handle;
    handle.attach(file);
    uint8_t header[8];
    FUZZ_CHECK(driver.setup(&handle, header, sizeof header) == 1);
    container_walk_t walk = walk_container(read_file(path));
    // What the handle learnt from a damaged file (a back-pointer taken on trust) outlives the damage
    // when an erase or a write removes it; only a rewind forgets it. So does passing over a block
    // cut off by the end of the file: the tape then stands beyond the file's end, and a write there
    // leaves the gap filled with zeros.
    bool trusted = walk.chained;
    for (int operations = 0; operations < 64 && input.remaining_bytes() > 0; ++operations) {
        // Past a long record cut off by the end of the file, a write would make a file of gigabytes.
        if (handle.position > read_file(path).size() + (1u << 20))
            break;
        const long before = boundary_index(walk, handle.position);
        const operation_t op = run_operation(input, handle);
        const container_walk_t after = walk_container(read_file(path));
        FUZZ_CHECK(op.result >= -2 && file_pointer(file) == handle.position);
        const bool beyond_the_end = !after.whole && handle.position > after.end;
        trusted = ((trusted && walk.chained) || (op.code == 11 && after.chained)) && !beyond_the_end;
        if (trusted)
            check_chained(handle, walk, before, op, after);
        walk = after;
    }
    walk_both_ways(handle, read_file(path).size());
    CloseHandle(file);
    FUZZ_CHECK(open_descriptors() == descriptors);
    return 0;
}
