#include "brxtool/read_ahead.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "brxtool/tape.h"
#include "copy/dump_ahead.h"
#include "copy/copy_context.h"

read_ahead_t::read_ahead_t(uint8_t* memory, uint64_t size, uint32_t room)
    : memory(memory), ring(memory, size, room, dump_marks)
{
}

read_ahead_t::~read_ahead_t()
{
    ring.end();
    VirtualFree(memory, 0, MEM_RELEASE);
}

namespace {

void read_device(read_ahead_t& ahead, tape_io_t* driver, uint32_t size)
{
    for (uint8_t* room = ahead.ring.claim(); room != nullptr; room = ahead.ring.claim()) {
        const int32_t result = driver->read_forward(&ahead.handle, room, size);
        const uint32_t length = result > 0 ? static_cast<uint32_t>(result) : 0;
        const uint32_t kept = data_at + std::min(length, record_room);
        ahead.ring.publish({result, ahead.handle.last_error, room}, kept);
        if (result < 0)
            return;
    }
}

}  // namespace

bool read_ahead_as_asked(const arguments_t& arguments, tape_t& tape)
{
    if (!arguments.has("buffer"))
        return true;
    uint32_t mib = 0;
    if (!number_option(arguments, "", "buffer", 1, largest_ring_mib, mib, "a number of MiB"))
        return false;
    return tape.format != format_t::device || start_read_ahead(tape, mib);
}

bool start_read_ahead(tape_t& tape, uint32_t mib)
{
    const uint32_t room = tape.handle.largest_buffer;  // the most a read asks for
    const uint64_t size = uint64_t{mib} << 20, bytes = size + room;
    void* memory =
        bytes <= SIZE_MAX ? VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (memory == nullptr) {
        fprintf(stderr, "brxtool: no memory for a buffer of %u MiB\n", mib);
        return false;
    }
    tape.ahead = std::make_unique<read_ahead_t>(static_cast<uint8_t*>(memory), size, room);
    read_ahead_t& ahead = *tape.ahead;
    ahead.handle = tape.handle;
    ahead.ring.start([&ahead, driver = tape.driver, room] { read_device(ahead, driver, room); });
    return true;
}

int32_t take_read_ahead(tape_t& tape, uint8_t*& data)
{
    device_entry_t entry;
    if (!tape.ahead->ring.take(entry)) {  // only stop_read_ahead stops the ring: never seen
        tape.handle.last_error = ERROR_OPERATION_ABORTED;
        return -3;
    }
    std::memcpy(tape.memory, entry.buffer, data_at);
    tape.handle.last_error = entry.last_error;
    data = entry.buffer + data_at;
    if (entry.result >= 0)
        return entry.result;
    data = tape.memory + data_at;
    stop_read_ahead(tape);
    return entry.result;
}

void stop_read_ahead(tape_t& tape)
{
    if (!tape.ahead)
        return;
    tape.ahead->ring.end();
    const uint32_t last_error = tape.handle.last_error;
    tape.handle = tape.ahead->handle;
    tape.handle.last_error = last_error;
    tape.ahead.reset();
}
