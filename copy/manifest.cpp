#include "copy/manifest.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "copy/json_text.h"
#include "platform/platform.h"

#ifndef BRX_VERSION
#error "BRX_VERSION comes from the CMake project"
#endif

manifest_file_t& manifest_content_t::current()
{
    if (!file_open) {
        files.emplace_back();
        file_open = true;
        digest = sha256_t();
    }
    return files.back();
}

void manifest_content_t::end_file(bool mark)
{
    manifest_file_t& file = current();
    file.mark = mark;
    file.sha256 = digest.finish();
    file_open = false;
    record = 0;
}

void manifest_content_t::add_record(const uint8_t* data, uint32_t length)
{
    manifest_file_t& file = current();
    ++blocks;
    ++record;
    ++file.records;
    file.bytes += length;
    ++records;
    bytes += length;
    digest.add(data, length);
    if (file.runs.empty() || file.runs.back().last + 1 != record || file.runs.back().bytes != length)
        file.runs.push_back({record, record, length});
    else
        file.runs.back().last = record;
    label_t label;
    if (decode_label(data, length, label))
        file.labels.push_back({record, label});
}

void manifest_content_t::add_mark()
{
    ++blocks;
    ++marks;
    end_file(true);
}

void manifest_content_t::add_lost(const dump_sense_t* sense, uint32_t length)
{
    current();
    lost.push_back({blocks++, files.size() - 1, ++record, sense != nullptr, sense ? *sense : dump_sense_t{}, length});
}

void manifest_content_t::finish()
{
    if (file_open)
        end_file(false);
}

namespace {

std::string number(uint64_t value) { return std::to_string(value); }

std::string label_json(const manifest_label_t& labelled)
{
    return "{\"record\": " + number(labelled.record) + ", " + label_json_members(labelled.label) + "}";
}

std::string file_json(const manifest_file_t& file, size_t index)
{
    std::string text = "  {\"file\": " + number(index) + ", \"records\": " + number(file.records) +
                       ", \"bytes\": " + number(file.bytes) + ", \"tape_mark\": " + (file.mark ? "true" : "false") +
                       ", \"sha256\": \"" + file.sha256 + "\",\n   \"runs\": [";
    for (size_t i = 0; i < file.runs.size(); ++i)
        text += std::string(i == 0 ? "" : ", ") + "{\"first\": " + number(file.runs[i].first) + ", \"last\": " +
                number(file.runs[i].last) + ", \"bytes\": " + number(file.runs[i].bytes) + "}";
    text += "],\n   \"labels\": [";
    for (size_t i = 0; i < file.labels.size(); ++i)
        text += std::string(i == 0 ? "" : ",\n    ") + label_json(file.labels[i]);
    return text + "]}";
}

std::string lost_json(const manifest_lost_t& lost)
{
    std::string text = "  {\"block\": " + number(lost.block) + ", \"file\": " + number(lost.file) +
                       ", \"record\": " + number(lost.record);
    if (lost.sense_known) {
        char sense[16];
        snprintf(sense, sizeof sense, "%02X/%02X/%02X", lost.sense.key, lost.sense.asc, lost.sense.ascq);
        text += ", \"sense\": \"" + std::string(sense) + "\"";
    }
    return text + (lost.bytes != 0 ? ", \"bytes\": " + number(lost.bytes) : "") + "}";
}

std::string device_json(const manifest_source_t& source)
{
    const drive_identity_t& drive = source.drive;
    return " \"device\": {\"name\": " + json_string(source.device) + ", \"vendor\": " + json_string(drive.vendor) +
           ", \"product\": " + json_string(drive.product) + ", \"revision\": " + json_string(drive.revision) +
           ", \"serial\": " + json_string(drive.serial) + "},\n";
}

// The drive read a dump (its waits were for room in the ring) and the file was written.
std::string feed_json(const ring_report_t& feed)
{
    char seconds[160];
    snprintf(seconds, sizeof seconds, "\"seconds\": %.3f, \"drive_wait_seconds\": %.3f, \"file_wait_seconds\": %.3f",
             feed.seconds, feed.reading.seconds, feed.writing.seconds);
    return " \"buffer\": {\"size\": " + number(feed.size) + ", \"records\": " + number(feed.records) +
           ", \"tape_marks\": " + number(feed.marks) + ", \"bytes\": " + number(feed.bytes) + ", \"drive_waits\": " +
           number(feed.reading.times) + ", \"file_waits\": " + number(feed.writing.times) + ",\n  " + seconds + "},\n";
}

std::string made_json(const manifest_source_t& source)
{
    std::string line;
    for (const std::string& argument : source.command_line)
        line += (line.empty() ? "" : ", ") + json_string(argument);
    return " \"made\": {\"program\": " + json_string(source.program) + ", \"version\": \"" BRX_VERSION
           "\", \"command_line\": [" + line + "],\n  \"started\": \"" + utc_text(source.started) +
           "\", \"ended\": \"" + utc_text(source.ended) + "\"}}\n";
}

}  // namespace

std::string manifest_json(const manifest_content_t& content, const manifest_source_t& source)
{
    std::string text = "{\"version\": " + number(manifest_version) + ",\n \"image\": {\"name\": " +
                       json_string(source.image) + ", \"format\": " + json_string(source.format) +
                       ", \"size\": " + number(source.size) + ", \"sha256\": \"" + source.sha256 + "\"},\n \"files\": [";
    for (size_t i = 0; i < content.files.size(); ++i)
        text += (i == 0 ? "\n" : ",\n") + file_json(content.files[i], i);
    text += "],\n \"totals\": {\"files\": " + number(content.files.size()) + ", \"records\": " +
            number(content.records) + ", \"bytes\": " + number(content.bytes) + ", \"tape_marks\": " +
            number(content.marks) + ", \"lost\": " + number(content.lost.size()) + "},\n \"lost\": [";
    for (size_t i = 0; i < content.lost.size(); ++i)
        text += (i == 0 ? "\n" : ",\n") + lost_json(content.lost[i]);
    text += "],\n";
    if (!source.device.empty())
        text += device_json(source);
    if (source.feed != nullptr)
        text += feed_json(*source.feed);
    return text + made_json(source);
}

int64_t manifest_clock() { return static_cast<int64_t>(std::time(nullptr)); }

// Days to a civil date (the proleptic Gregorian calendar), so that no platform's gmtime is needed.
std::string utc_text(int64_t seconds)
{
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t second_of_day = seconds - days * 86400;
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t day_of_era = z - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t month_index = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
    const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64 "Z",
             year, month, day, second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60);
    return text;
}

bool write_manifest(const std::string& path, const std::string& text)
{
    const bool standard = path == "-";
    HANDLE file = standard ? GetStdHandle(STD_OUTPUT_HANDLE)
                           : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
                written == text.size();
    const DWORD error = GetLastError();
    if (!standard)
        done = CloseHandle(file) != 0 && done;
    SetLastError(done ? NO_ERROR : error);
    return done;
}
