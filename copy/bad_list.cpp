#include "copy/bad_list.h"

#include <filesystem>

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"

namespace {

bool write_first_line(FILE* stream, uint64_t dump_size)
{
    return fprintf(stream, "%s%llu bytes\n", bad_list_title, static_cast<unsigned long long>(dump_size)) > 0;
}

void report_list_failure(const std::string& path)
{
    print_to_console_and_log("Failed to write the list of skipped records: %s\n", path.c_str());
}

// Everything after the first line of from goes to to.
bool copy_entries(FILE* from, FILE* to)
{
    int c;
    while ((c = fgetc(from)) != EOF && c != '\n') {
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, from)) > 0)
        if (fwrite(chunk, 1, got, to) != got)
            return false;
    return ferror(from) == 0;
}

}  // namespace

bool open_bad_list(bad_list_t& list, const char* dump_file_name)
{
    std::error_code ignored;
    if (copy_context.bad_list != nullptr)
        list.path = copy_context.bad_list;
    else if (std::filesystem::is_regular_file(dump_file_name, ignored))
        list.path = std::string(dump_file_name) + ".bad";
    if (list.path.empty())
        return true;
    list.stream = fopen(list.path.c_str(), "wb");
    if (list.stream == nullptr || !write_first_line(list.stream, 0) || fflush(list.stream) != 0) {
        report_list_failure(list.path);
        return false;
    }
    return true;
}

bool add_to_bad_list(bad_list_t& list, const skipped_record_t& r)
{
    if (list.stream == nullptr)
        return true;
    const bool written =
        fprintf(list.stream, "block %lu file %lu record %lu offset %llu sense %02X/%02X/%02X\n",
                static_cast<unsigned long>(r.block), static_cast<unsigned long>(r.file),
                static_cast<unsigned long>(r.record), static_cast<unsigned long long>(r.offset), r.sense.key,
                r.sense.asc, r.sense.ascq) > 0 &&
        fflush(list.stream) == 0;
    if (!written)
        report_list_failure(list.path);
    return written;
}

// The first line grows with the size, so the list is written anew beside itself and put in place.
bool finish_bad_list(bad_list_t& list, uint64_t dump_size)
{
    if (list.stream == nullptr)
        return true;
    const bool closed = fclose(list.stream) == 0;
    list.stream = nullptr;
    const std::string fresh = list.path + ".new";
    FILE* from = fopen(list.path.c_str(), "rb");
    FILE* to = fopen(fresh.c_str(), "wb");
    bool done = closed && from != nullptr && to != nullptr && write_first_line(to, dump_size) &&
                copy_entries(from, to);
    if (from != nullptr)
        fclose(from);
    if (to != nullptr && fclose(to) != 0)
        done = false;
    std::error_code error;
    if (done)
        std::filesystem::rename(fresh, list.path, error);
    if (!done || error) {
        remove(fresh.c_str());
        report_list_failure(list.path);
        return false;
    }
    return true;
}
