#include "copy/bad_list.h"

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"
#include "copy/file_identity.h"

namespace {

bool write_first_line(FILE* stream, uint64_t dump_size)
{
    return fprintf(stream, "%s\n", bad_list_first_line(dump_size).c_str()) > 0;
}

void report_list_failure(const bad_list_t& list)
{
    say(list.messages, "Failed to write the list of skipped records: %s\n", list.path.c_str());
}

// A list written over the dump file, the log or the tape's medium would destroy it.
bool stands_apart(const std::string& path, const char* dump_file_name, HANDLE device)
{
    const file_identity_t list = identity_of(path.c_str());
    const char* clash = same_file(list, identity_of(dump_file_name))          ? "the dump file"
                        : same_file(list, identity_of(copy_context.log_name)) ? "the log file"
                        : same_file(list, identity_of(device))                ? "the tape's medium"
                                                                              : nullptr;
    if (clash != nullptr)
        print_to_console_and_log("The list of skipped records cannot be %s: %s\n", clash, path.c_str());
    return clash == nullptr;
}

}  // namespace

std::string bad_list_first_line(uint64_t dump_size)
{
    char size[32];
    snprintf(size, sizeof size, "%0*llu", bad_list_size_digits, static_cast<unsigned long long>(dump_size));
    return bad_list_title + std::string(size) + " bytes";
}

bool open_bad_list(bad_list_t& list, const char* dump_file_name, HANDLE device)
{
    if (copy_context.bad_list != nullptr)
        list.path = copy_context.bad_list;
    else if (identity_of(dump_file_name).regular)
        list.path = std::string(dump_file_name) + ".bad";
    if (list.path.empty())
        return true;
    if (!stands_apart(list.path, dump_file_name, device))
        return false;
    const bool made = create_bad_list(list, list.path, brx_messages());
    if (list.created)
        copy_context.bad_list_created = list.path;
    return made;
}

bool create_bad_list(bad_list_t& list, const std::string& path, const message_target_t& messages)
{
    list.path = path;
    list.messages = messages;
    list.stream = fopen(list.path.c_str(), "wb");
    if (list.stream == nullptr) {
        report_list_failure(list);
        return false;
    }
    list.created = true;
    list.in_place = identity_of(list.path.c_str()).regular;  // links followed
    if (!list.in_place || (write_first_line(list.stream, 0) && fflush(list.stream) == 0))
        return true;
    fclose(list.stream);
    list.stream = nullptr;
    report_list_failure(list);
    return false;
}

std::string bad_list_line(const skipped_record_t& r)
{
    char line[160];
    snprintf(line, sizeof line, "block %lu file %lu record %lu offset %llu sense %02X/%02X/%02X",
             static_cast<unsigned long>(r.block), static_cast<unsigned long>(r.file),
             static_cast<unsigned long>(r.record), static_cast<unsigned long long>(r.offset), r.sense.key, r.sense.asc,
             r.sense.ascq);
    return line;
}

bool add_to_bad_list(bad_list_t& list, const skipped_record_t& r)
{
    if (list.stream == nullptr)
        return true;
    const std::string line = bad_list_line(r) + "\n";
    if (!list.in_place) {
        list.held += line;
        return true;
    }
    const bool written = fputs(line.c_str(), list.stream) >= 0 && fflush(list.stream) == 0;
    if (!written)
        report_list_failure(list);
    return written;
}

// A regular file gets its first line rewritten where it stands; anything else the list whole.
bool finish_bad_list(bad_list_t& list, uint64_t dump_size)
{
    if (list.stream == nullptr)
        return true;
    bool done = list.in_place ? fseek(list.stream, 0, SEEK_SET) == 0 && write_first_line(list.stream, dump_size)
                              : write_first_line(list.stream, dump_size) &&
                                    fwrite(list.held.data(), 1, list.held.size(), list.stream) == list.held.size();
    done = fclose(list.stream) == 0 && done;
    list.stream = nullptr;
    if (!done)
        report_list_failure(list);
    return done;
}
