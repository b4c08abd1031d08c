// What the fuzz harnesses share: findings, a scratch directory, descriptor counts, an independent
// walk over container files, and dump's and restore's message services kept quiet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

using bytes_t = std::vector<uint8_t>;

// A broken invariant: prints what and where, then aborts so that libFuzzer keeps the input.
[[noreturn]] void fuzz_finding(const char* what, const char* file, int line);
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : fuzz_finding(#condition, __FILE__, __LINE__))

// A file in the process's own scratch directory (made at first use, removed at exit).
std::string scratch_file(const char* name);
void write_file(const std::string& path, const bytes_t& bytes);
bytes_t read_file(const std::string& path);

// Open descriptors of the process, from /proc/self/fd.
int open_descriptors();

// A container file as read forwards from its start, without the driver.
struct container_walk_t {
    std::vector<uint64_t> offsets;  // the header offset of every whole block, in order
    std::vector<bytes_t> records;   // their data; empty for a tape mark
    uint64_t end = 0;               // just after the last whole block
    bool chained = true;            // every whole block's back-pointer names the header before it
    bool whole = false;             // chained, and the whole blocks fill the file exactly
};
container_walk_t walk_container(const bytes_t& file);

// Container bytes holding records in order (an empty record is a tape mark), correctly chained.
bytes_t container_of(const std::vector<bytes_t>& records);

// Points dump's and restore's context at a fresh 64 KiB transfer buffer and silent message services.
void prepare_copy_context(int32_t bad_block_reads);
