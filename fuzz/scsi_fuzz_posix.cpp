// The SCSI driver (both setup variants) and the tape-API driver over a drive whose every answer
// comes from the input: failed calls, status, sense (raw, or fixed format with residues at the
// edges), data, and counts that may lie. Beyond the sanitizers: the drive reads the first and last
// byte of every buffer a command names, so a length beyond its buffer shows; each operation ends
// within a bounded number of commands; the tape API never reports more bytes read than asked; every
// device is closed again.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include "fuzz/fuzz_support_posix.h"
#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "tapeio/physical_tape_io.h"
#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"

namespace {

FuzzedDataProvider* answers = nullptr;
int live_drives = 0;
size_t commands = 0;

void touch(const uint8_t* bytes, uint32_t length)
{
    if (bytes == nullptr || length == 0)
        return;
    volatile uint8_t first = bytes[0], last = bytes[length - 1];
    (void)first, (void)last;
}

// Copies what the input offers, up to capacity; the count placed.
uint32_t deliver(uint8_t* to, uint32_t capacity, size_t most)
{
    const bytes_t bytes = answers->ConsumeBytes<uint8_t>(answers->ConsumeIntegralInRange<size_t>(0, most));
    const uint32_t count = std::min<uint32_t>(capacity, static_cast<uint32_t>(bytes.size()));
    if (count != 0 && to != nullptr)
        memcpy(to, bytes.data(), count);
    return to == nullptr ? 0 : count;
}

// A residue or count at the edges where arithmetic on it breaks, or any other.
uint32_t edge_value()
{
    const uint32_t edges[] = {0, 1, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x800000, 0xFF800000, 0x10000};
    const size_t pick = answers->ConsumeIntegralInRange<size_t>(0, std::size(edges));
    return pick < std::size(edges) ? edges[pick] : answers->ConsumeIntegral<uint32_t>();
}

// Fixed-format sense built field by field: VALID, the tape flags with the key, INFORMATION, ASC, ASCQ.
uint32_t fixed_sense(uint8_t* to, uint32_t capacity)
{
    uint8_t sense[18] = {};
    const uint8_t flags = answers->ConsumeIntegral<uint8_t>();
    const uint32_t information = edge_value();
    sense[0] = static_cast<uint8_t>(0x70 | (flags & 1) << 7 | (flags & 2) >> 1);  // VALID; current or deferred
    sense[2] = static_cast<uint8_t>((flags & 0xE0) | answers->ConsumeIntegralInRange<uint8_t>(0, 15));
    for (int i = 0; i < 4; ++i) sense[3 + i] = static_cast<uint8_t>(information >> (24 - 8 * i));
    sense[7] = 10;
    sense[12] = answers->ConsumeIntegral<uint8_t>();
    sense[13] = answers->ConsumeIntegral<uint8_t>();
    const uint32_t count = std::min<uint32_t>(capacity, sizeof sense);
    if (to != nullptr && count != 0)
        memcpy(to, sense, count);
    return to == nullptr ? 0 : count;
}

class fuzz_drive_t : public posix::scsi_device_t {
public:
    fuzz_drive_t() { ++live_drives; }
    ~fuzz_drive_t() override { --live_drives; }

    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override
    {
        ++commands;
        touch(command.data, command.data_length);
        touch(command.sense, command.sense_capacity);
        posix::scsi_reply_t reply;
        if (answers->remaining_bytes() == 0) {
            reply.error = ERROR_IO_DEVICE;  // the drive has gone: every later call fails
            return reply;
        }
        const uint8_t kind = answers->ConsumeIntegral<uint8_t>();
        if (kind < 8) {
            reply.error = kind == 0 ? ERROR_SEM_TIMEOUT : ERROR_IO_DEVICE;
            return reply;
        }
        reply.status = kind < 128 ? 0 : kind < 240 ? 2 : answers->ConsumeIntegral<uint8_t>();
        if (reply.status != 0)
            reply.sense_length = kind % 2 == 0 ? fixed_sense(command.sense, command.sense_capacity)
                                               : deliver(command.sense, command.sense_capacity, 32);
        reply.data_transferred = command.direction == SCSI_IOCTL_DATA_IN
                                     ? deliver(command.data, command.data_length, command.data_length)
                                     : command.data_length;
        if (kind % 16 == 9) {  // counts that say more than happened
            reply.sense_length = answers->ConsumeIntegral<uint8_t>();
            reply.data_transferred = answers->ConsumeIntegral<uint32_t>();
        }
        return reply;
    }
};

DWORD open_fuzz_drive(const char*, std::unique_ptr<posix::scsi_device_t>& device)
{
    device = std::make_unique<fuzz_drive_t>();
    return NO_ERROR;
}

s1pti_tape_io_t s1pti;
s2pti_tape_io_t s2pti;
physical_tape_io_t physical;

int32_t run_operation(tape_io_t& driver, tape_io_handle_t& handle, uint8_t code, FuzzedDataProvider& input)
{
    const uint32_t size = input.ConsumeIntegralInRange<uint32_t>(0, 70000);
    const uint32_t count = input.ConsumeIntegral<uint32_t>();
    // Reads and writes get buffers of exactly their size; the rest the whole transfer buffer.
    const uint32_t offset = static_cast<uint32_t>(driver.data_offset(&handle));
    bytes_t buffer(code == 0 ? size + 1 : code == 8 ? offset + size + 1 : 65536);
    uint8_t* b = buffer.data();
    switch (code) {
    case 0: {
        const int32_t result = driver.read_forward(&handle, b, size);
        FUZZ_CHECK(&driver != &physical || result <= static_cast<int32_t>(size));
        return result;
    }
    case 1: return driver.read_reverse(&handle, b, 65536);
    case 2: return driver.space_file_forward(&handle, b, 65536);
    case 3: return driver.space_file_reverse(&handle, b, 65536);
    case 4: return driver.space_record_forward(&handle, b, 65536, count);
    case 5: return driver.space_record_reverse(&handle, b, 65536, count);
    case 6: return driver.step_record_forward(&handle, b, 65536, count);
    case 7: return driver.step_record_reverse(&handle, b, 65536, count);
    case 8: return driver.write_record(&handle, b, size);
    case 9: return driver.write_tape_mark(&handle, b, 65536);
    case 10: return driver.erase(&handle, b, 65536);
    case 11: return driver.rewind(&handle, b, 65536);
    case 12: return driver.flush(&handle, b, 65536);
    case 13: return driver.unload(&handle, b, 65536);
    case 14: {
        uint32_t blocks = 0;
        return driver.get_block_count(&handle, &blocks);
    }
    default: return driver.setup(&handle, b, 65536);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    posix::register_device_scheme("fuzzdrive:", open_fuzz_drive);
    setenv("BRX_TAPE90", "fuzzdrive:", 1);
    return 0;
}

// The last bytes choose the driver, the address and each operation with its sizes; the drive's
// answers come from the front.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    answers = &input;
    tape_io_t* const drivers[] = {&s1pti, &s2pti, &physical};
    tape_io_t& driver = *drivers[input.ConsumeIntegralInRange<int>(0, 2)];
    const int descriptors = open_descriptors();
    const HANDLE device = CreateFileA("\\\\.\\Tape90", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FUZZ_CHECK(device != INVALID_HANDLE_VALUE);
    tape_io_handle_t handle;
    handle.attach(device);
    handle.path_id = input.ConsumeIntegralInRange<int32_t>(-1, 2);
    handle.target_id = input.ConsumeIntegralInRange<int32_t>(-1, 2);
    handle.lun = input.ConsumeIntegralInRange<int32_t>(-1, 2);
    uint8_t code = 15;  // every run sets the drive up first
    for (int operations = 0; operations < 32; ++operations) {
        commands = 0;
        const size_t bound = input.remaining_bytes() + 1100;  // each answer takes a byte; SPACE pieces
        run_operation(driver, handle, code, input);
        FUZZ_CHECK(commands <= bound);
        if (input.remaining_bytes() == 0)
            break;
        code = input.ConsumeIntegralInRange<uint8_t>(0, 15);
    }
    CloseHandle(device);
    FUZZ_CHECK(live_drives == 0);
    FUZZ_CHECK(open_descriptors() == descriptors);
    answers = nullptr;
    return 0;
}
