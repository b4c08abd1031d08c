// heal=PATH: the failed reads of blocks that fail only a few times, kept across opens of the
// medium, as a record that reads on another day.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "vtape/vtape.h"

// Takes the failures earlier runs used from each bad=K:N. A missing file counts none.
bool vtape_t::load_heal_counts(std::string* why)
{
    if (options_.heal_path.empty())
        return true;
    FILE* file = fopen(options_.heal_path.c_str(), "rb");
    if (file == nullptr)
        return true;
    uint32_t block = 0, failed = 0;
    int fields = 0;
    while ((fields = fscanf(file, "block %" SCNu32 " failed %" SCNu32 " ", &block, &failed)) == 2)
        failed_reads_[block] = failed;
    const bool whole = fields == EOF && !ferror(file);
    fclose(file);
    if (!whole) {
        if (why)
            *why = "the heal file '" + options_.heal_path + "' holds other lines than \"block K failed F\"";
        return false;
    }
    for (vtape_bad_block_t& bad : options_.bad_blocks) {
        const auto used = failed_reads_.find(bad.index);
        if (!bad.always && used != failed_reads_.end())
            bad.failures -= std::min(bad.failures, used->second);
    }
    return true;
}

// Rewritten whole after each failure: a run that is killed keeps what it used.
void vtape_t::count_failure(uint32_t block)
{
    if (options_.heal_path.empty())
        return;
    ++failed_reads_[block];
    FILE* file = fopen(options_.heal_path.c_str(), "wb");
    if (file == nullptr)
        return;
    for (const auto& [index, failed] : failed_reads_)
        fprintf(file, "block %" PRIu32 " failed %" PRIu32 "\n", index, failed);
    fclose(file);
}
