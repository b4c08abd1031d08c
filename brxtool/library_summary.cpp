#include "brxtool/library_summary.h"

#include <cinttypes>
#include <cstdio>

#include "brxtool/element_names.h"
#include "copy/json_text.h"

namespace {

const char* status_word(tape_status_t status)
{
    switch (status) {
    case tape_status_t::imaged:
        return "imaged";
    case tape_status_t::partial:
        return "partial";
    case tape_status_t::incomplete:
        return "incomplete";
    case tape_status_t::kept:
        return "kept";
    case tape_status_t::cleaning:
        return "cleaning";
    case tape_status_t::failed:
        return "failed";
    case tape_status_t::pending:
        break;
    }
    return "pending";
}

std::string drive_name(const tape_job_t& job) { return job.drive < 0 ? "-" : "drive:" + std::to_string(job.drive); }

bool has_image(const tape_job_t& job)
{
    return job.status == tape_status_t::imaged || job.status == tape_status_t::partial ||
           job.status == tape_status_t::incomplete || job.status == tape_status_t::kept;
}

std::string job_json(const library_t& library, const tape_job_t& job)
{
    char numbers[160];
    snprintf(numbers, sizeof numbers, ", \"records\": %" PRIu64 ", \"bytes\": %" PRIu64 ", \"skipped\": %" PRIu64
             ", \"seconds\": %.1f", job.records, job.bytes, job.skipped, job.seconds);
    return "{\"barcode\": " + (job.barcode.empty() ? std::string("null") : json_string(job.barcode)) +
           ", \"slot\": " + json_string(element_name(library.changer.layout, job.slot)) +
           ", \"drive\": " + (job.drive < 0 ? std::string("null") : json_string(drive_name(job))) +
           ", \"status\": \"" + status_word(job.status) + "\", \"image\": " +
           (has_image(job) ? json_string(job.name + library.extension) : std::string("null")) + numbers +
           ", \"left_in_drive\": " + (job.left_in_drive ? "true" : "false") +
           ", \"why\": " + (job.why.empty() ? std::string("null") : json_string(job.why)) + "}";
}

}  // namespace

int library_exit_status(const library_t& library)
{
    int status = library_whole;
    for (const tape_job_t& job : library.jobs) {
        if (job.left_in_drive || job.status == tape_status_t::failed || job.status == tape_status_t::pending ||
            job.status == tape_status_t::incomplete)
            return library_incomplete;
        if (job.status == tape_status_t::partial || (job.status == tape_status_t::kept && job.skipped != 0))
            status = library_skipped;
    }
    return status;
}

void print_summary(const library_t& library)
{
    printf("%-16s %-9s %-8s %-8s %10s %14s %8s %8s\n", "barcode", "slot", "drive", "status", "records", "bytes",
           "skipped", "seconds");
    for (const tape_job_t& job : library.jobs) {
        printf("%-16s %-9s %-8s %-8s %10" PRIu64 " %14" PRIu64 " %8" PRIu64 " %8.1f%s%s\n",
               job.barcode.empty() ? "-" : job.barcode.c_str(), element_name(library.changer.layout, job.slot).c_str(),
               drive_name(job).c_str(), status_word(job.status), job.records, job.bytes, job.skipped, job.seconds,
               job.why.empty() ? "" : "  ", job.why.c_str());
    }
}

bool write_summary_json(const library_t& library, int status)
{
    const std::string path = library.options.outdir + "/library.json";
    std::string text = "{\"changer\": " + json_string(library.options.changer) + ", \"format\": \"" +
                       format_info(library.options.format).name + "\", \"exit_status\": " + std::to_string(status) +
                       ",\n \"tapes\": [";
    const char* separator = "\n  ";
    for (const tape_job_t& job : library.jobs) {
        text += separator + job_json(library, job);
        separator = ",\n  ";
    }
    text += "\n]}\n";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool done = file != INVALID_HANDLE_VALUE &&
                WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!done)
        fprintf(stderr, "brxtool: library: cannot write %s: %s\n", path.c_str(), error_text(error).c_str());
    return done;
}
