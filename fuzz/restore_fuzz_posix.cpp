// Restore of a random dump file onto a virtual tape, in process. Beyond the sanitizers: the medium
// is always a well-formed container holding the file's leading whole blocks, all of them when no
// capacity or over-long record stops the copy (the very bytes when the file itself is whole), and
// no descriptor is left open.
#include <algorithm>
#include <cstdlib>

#include "copy/copy_context.h"
#include "copy/restore.h"
#include "fuzz/fuzz_support_posix.h"
#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "vtape/vtape_device.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    posix::register_device_scheme(vtape_scheme, vtape_open_device);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);  // the options come from the end, the file is the rest
    const uint16_t capacity = input.ConsumeIntegral<uint16_t>();
    const bytes_t file = input.ConsumeRemainingBytes<uint8_t>();
    const std::string file_path = scratch_file("in.dmp"), medium_path = scratch_file("medium.brx");
    write_file(file_path, file);
    remove(medium_path.c_str());
    const bool limited = capacity < 0x8000;  // then in bytes, headers included
    const std::string device = "vtape:" + medium_path + (limited ? "?capacity=" + std::to_string(capacity) : "");
    setenv("BRX_TAPE0", device.c_str(), 1);
    prepare_copy_context(0);
    SetLastError(NO_ERROR);
    const int descriptors = open_descriptors();
    char name[] = "\\\\.\\tape0";
    const int result = restore_tape(std::string(file_path).data(), name);
    FUZZ_CHECK(open_descriptors() == descriptors);

    const bytes_t medium_bytes = read_file(medium_path);
    const container_walk_t source = walk_container(file), medium = walk_container(medium_bytes);
    FUZZ_CHECK(medium.whole);
    FUZZ_CHECK(medium.records.size() <= source.records.size());
    FUZZ_CHECK(std::equal(medium.records.begin(), medium.records.end(), source.records.begin()));
    if (limited)
        return 0;
    size_t fitting = 0;
    while (fitting < source.records.size() && source.records[fitting].size() <= transfer_buffer_size) ++fitting;
    FUZZ_CHECK(medium.records.size() == fitting);
    // A length beyond the buffer fails the copy even in a header whose record the file cuts off.
    const bool cut_too_long = source.end + 8 <= file.size() &&
                              ((uint32_t{file[source.end]} << 24) | (file[source.end + 1] << 16) |
                               (file[source.end + 2] << 8) | file[source.end + 3]) > transfer_buffer_size;
    FUZZ_CHECK(result == (fitting < source.records.size() || cut_too_long ? 1 : 0));
    if (source.whole && fitting == source.records.size())
        FUZZ_CHECK(medium_bytes == file);
    return 0;
}
