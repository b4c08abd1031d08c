// Dump of a random virtual-tape medium, in process. Beyond the sanitizers: the dump file is always a
// well-formed container holding the medium's leading whole blocks, all of them (the very bytes) when
// the medium is whole and nothing stops the copy, and no descriptor is left open.
#include <algorithm>
#include <cstdlib>

#include "copy/copy_context.h"
#include "copy/dump.h"
#include "fuzz/fuzz_support_posix.h"
#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "tapeio/tape_io_objects.h"
#include "vtape/vtape_device.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    posix::register_device_scheme(vtape_scheme, vtape_open_device);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);  // the options come from the end, the medium is the rest
    const int32_t reads = input.ConsumeIntegralInRange<int32_t>(0, 3);
    const uint8_t bad = input.ConsumeIntegral<uint8_t>();  // a block that fails to read once, below 16
    const bytes_t medium = input.ConsumeRemainingBytes<uint8_t>();
    const std::string medium_path = scratch_file("medium.brx"), dump_path = scratch_file("out.dmp");
    write_file(medium_path, medium);
    remove(dump_path.c_str());
    const std::string device = "vtape:" + medium_path + (bad < 16 ? "?bad=" + std::to_string(bad) + ":1" : "");
    setenv("BRX_TAPE0", device.c_str(), 1);
    prepare_copy_context(reads);
    tape_handle = tape_io_handle_t{};
    SetLastError(NO_ERROR);
    const int descriptors = open_descriptors();
    char name[] = "\\\\.\\tape0";
    const int result = dump_tape(name, std::string(dump_path).data());
    FUZZ_CHECK(open_descriptors() == descriptors);

    const bytes_t dumped_bytes = read_file(dump_path);
    const container_walk_t tape = walk_container(medium), dumped = walk_container(dumped_bytes);
    FUZZ_CHECK(dumped.whole);
    FUZZ_CHECK(dumped.records.size() <= tape.records.size());
    FUZZ_CHECK(std::equal(dumped.records.begin(), dumped.records.end(), tape.records.begin()));
    if (!tape.whole)
        return 0;
    // The copy stops at a record too long for the buffer's data area, or at the bad block read once only.
    const size_t room = transfer_buffer_size - static_cast<size_t>(active_tape_io.data_offset(&tape_handle));
    size_t readable = 0;
    while (readable < tape.records.size() && tape.records[readable].size() <= room &&
           (readable != bad || reads > 0))
        ++readable;
    FUZZ_CHECK(dumped.records.size() == readable);
    FUZZ_CHECK(result == (readable < tape.records.size() ? 1 : 0));
    if (readable == tape.records.size())
        FUZZ_CHECK(dumped_bytes == medium);
    return 0;
}
