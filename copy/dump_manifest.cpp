#include "copy/dump_manifest.h"

#include <cstdio>

#include "copy/container_reader.h"
#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"
#include "copy/file_identity.h"
#include "copy/manifest.h"
#include "copy/skip_list.h"

namespace {

// Every block of the dump file into content, the listed records in their places. "" when the
// whole file was read, else why not.
std::string read_back(FILE* stream, skip_matcher_t& walk, manifest_content_t& content)
{
    uint8_t* buffer = copy_context.buffer;
    std::string why;
    for (uint64_t offset = 0;; ) {
        while (const skipped_record_t* listed = walk.due(offset, why))
            content.add_lost(&listed->sense, 0);
        if (!why.empty())
            return "its list does not match: " + why;
        container_header_t header;
        const container_read_t read = container_read_block(stream, buffer, copy_context.buffer_size, header);
        if (read == container_read_t::end)
            break;
        if (read != container_read_t::block)
            return "it cannot be read back at offset " + std::to_string(offset);
        walk.passed(header.length == 0);
        header.length == 0 ? content.add_mark() : content.add_record(buffer, header.length);
        offset += container_header_size + header.length;
    }
    content.finish();
    return walk.finished(why) ? "" : "its list does not match: " + why;
}

std::string write_dump_manifest(const char* file_name, const std::string& list, manifest_source_t& source)
{
    uint64_t size = 0;
    skip_matcher_t walk;
    walk.image = file_name;
    bool present = false;
    std::string why;
    if (!identity_of(file_name).regular || !sha256_of_file(file_name, source.sha256, size))
        return "the dump file is not a regular file, which could be read back";
    if (!list.empty() && !identity_of(list.c_str()).regular)
        return "the list of skipped records is not a regular file, which could be read back";
    if (!list.empty() && !read_skip_list(list, file_name, size, walk.records, present, why))
        return list + ": " + why;
    FILE* stream = fopen(file_name, "rb");
    if (stream == nullptr)
        return copy_context.system_error_text(GetLastError());
    manifest_content_t content;
    why = read_back(stream, walk, content);
    fclose(stream);
    if (!why.empty())
        return why;
    source.image = file_name;
    source.format = "brx";
    source.size = size;
    source.ended = manifest_clock();
    const std::string path = std::string(file_name) + ".json";
    return write_manifest(path, manifest_json(content, source)) ? "" : path + ": " +
                                                                        copy_context.system_error_text(GetLastError());
}

}  // namespace

int finish_dump_manifest(dump_reader_t& reader, const char* device_name, const char* file_name,
                         const std::string& list, int status, const ring_report_t* feed)
{
    if (status == 1)
        return status;
    manifest_source_t source;
    source.device = device_name;
    read_drive_identity(reader.handle, reader.buffer, reader.buffer + reader.driver->data_offset(reader.handle),
                        source.drive);
    source.program = "brx";
    source.command_line = copy_context.command_line;
    source.started = copy_context.started;
    source.feed = feed;
    const std::string why = write_dump_manifest(file_name, list, source);
    if (why.empty())
        return status;
    print_to_console_and_log("Failed to write the manifest of %s: %s\n", file_name, why.c_str());
    copy_context.dump_file_kept = true;
    return 1;
}
