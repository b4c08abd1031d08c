#include "fuzz/fuzz_support_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "copy/copy_context.h"
#include "platform/system_error_text.h"
#include "tapeio/container_header.h"

// Through the sanitizers' report stream, which libFuzzer keeps open when it silences stderr.
void fuzz_finding(const char* what, const char* file, int line)
{
    char text[512];
    snprintf(text, sizeof text, "fuzz finding: %s (%s:%d)", what, file, line);
    __sanitizer_report_error_summary(text);
    abort();
}

namespace {

struct scratch_t {
    scratch_t()
    {
        const char* tmp = getenv("TMPDIR");
        // Lower case throughout, since brx lower-cases the log names it is given.
        path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/brx-fuzz-" + std::to_string(getpid());
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        FUZZ_CHECK(std::filesystem::create_directory(path, ignored));
    }
    ~scratch_t()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// Formats like the front end's report, so that the arguments are checked, and drops the text.
void quiet_report(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
}

uint32_t big_endian(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

}  // namespace

std::string scratch_file(const char* name)
{
    static scratch_t scratch;
    return scratch.path + "/" + name;
}

// Plain system calls, not the platform layer's file calls: the harnesses look at files that the
// code under test holds open without sharing.
void write_file(const std::string& path, const bytes_t& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    close(fd);
}

bytes_t read_file(const std::string& path)
{
    bytes_t bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    uint8_t chunk[4096];
    ssize_t count;
    while ((count = read(fd, chunk, sizeof chunk)) > 0) bytes.insert(bytes.end(), chunk, chunk + count);
    close(fd);
    return bytes;
}

int open_descriptors()
{
    DIR* directory = opendir("/proc/self/fd");
    FUZZ_CHECK(directory != nullptr);
    int count = 0;
    while (readdir(directory) != nullptr) ++count;
    closedir(directory);
    return count;
}

container_walk_t walk_container(const bytes_t& file)
{
    container_walk_t walk;
    uint64_t previous = container_no_previous;
    while (walk.end + container_header_size <= file.size()) {
        const uint8_t* header = file.data() + walk.end;
        const uint32_t length = big_endian(header);
        if (length > file.size() - walk.end - container_header_size)
            break;  // the record runs past the end of the file
        walk.chained = walk.chained && big_endian(header + 4) == static_cast<uint32_t>(previous);
        walk.offsets.push_back(walk.end);
        walk.records.emplace_back(header + container_header_size, header + container_header_size + length);
        previous = walk.end;
        walk.end += container_header_size + length;
    }
    walk.whole = walk.chained && walk.end == file.size();
    return walk;
}

bytes_t container_of(const std::vector<bytes_t>& records)
{
    bytes_t file;
    uint64_t previous = container_no_previous;
    for (const bytes_t& record : records) {
        uint8_t header[container_header_size];
        encode_container_header({static_cast<uint32_t>(record.size()), container_back_pointer(previous)}, header);
        previous = file.size();
        file.insert(file.end(), header, header + container_header_size);
        file.insert(file.end(), record.begin(), record.end());
    }
    return file;
}

void prepare_copy_context(int32_t bad_block_reads)
{
    static uint8_t* const buffer = static_cast<uint8_t*>(aligned_alloc(4096, transfer_buffer_size));
    copy_context = copy_context_t{};
    copy_context.buffer = buffer;
    copy_context.bad_block_reads = bad_block_reads;
    copy_context.report = quiet_report;
    copy_context.system_error_text = system_error_text;
}
