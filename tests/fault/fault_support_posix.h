// What the fault tests share: brx started in the background, sparse media, and the prefix check.
#pragma once

#include "tests/support/spawn_posix.h"

// Starts brx in directory with the variables set, standard error into directory/error_name and,
// when file_limit is given, files capped at that size (a write beyond fails, as on a full disk).
pid_t start_brx(const std::vector<std::string>& arguments, const std::string& directory,
                const std::vector<std::pair<std::string, std::string>>& variables, const std::string& error_name,
                uint64_t file_limit = 6ull << 30);
// Waits (at most 30 s) until the file holds at least size bytes.
bool wait_for_size(const std::string& path, uint64_t size);

// A container file of count records, whose lengths cycle through 65024, 1, 40000, 512 and 65000,
// with a tape mark after every 100th: holes but for the headers and an 8-byte stamp per record
// (its index, then the index inverted). Returns the blocks' offsets.
std::vector<uint64_t> write_sparse_medium(const std::string& path, uint32_t count);

// The number of whole blocks when got is a prefix of the container file source: its bytes are
// source's first bytes, back-pointers included, and it ends at a block's end or within the last
// block. -1 otherwise.
int64_t whole_blocks_of_prefix(const std::string& got, const std::string& source);
// Whether two files have the same bytes (read in pieces, so large ones cost no memory).
bool same_files(const std::string& a, const std::string& b);
