#include "copy/skip_list.h"

#include <cinttypes>
#include <cstdio>

#include "copy/bad_list.h"

namespace {

// A line without its "\n"; false at the end of the file or for a last line without one.
bool read_line(FILE* stream, std::string& line, bool& complete)
{
    line.clear();
    complete = false;
    for (int c; (c = fgetc(stream)) != EOF;) {
        if (c == '\n') {
            complete = true;
            return true;
        }
        line += static_cast<char>(c);
        if (line.size() > 200)
            return true;  // no line of the list is this long
    }
    return !line.empty();
}

bool parse_record(const std::string& line, skipped_record_t& record)
{
    unsigned key = 0, code = 0, qualifier = 0;
    if (sscanf(line.c_str(), "block %" SCNu32 " file %" SCNu32 " record %" SCNu32 " offset %" SCNu64 " sense %2x/%2x/%2x",
               &record.block, &record.file, &record.record, &record.offset, &key, &code, &qualifier) != 7)
        return false;
    record.sense = {static_cast<uint8_t>(key), static_cast<uint8_t>(code), static_cast<uint8_t>(qualifier)};
    return line == bad_list_line(record);  // exactly the written form: no other spacing, case or digits
}

bool refuse(std::string& why, const std::string& reason)
{
    why = reason;
    return false;
}

}  // namespace

bool read_skip_list(const std::string& list, const std::string& image, uint64_t image_size,
                    std::vector<skipped_record_t>& records, bool& present, std::string& why)
{
    FILE* stream = fopen(list.c_str(), "rb");
    present = stream != nullptr;
    if (stream == nullptr)
        return true;
    std::string line;
    bool complete = false;
    uint64_t size = 0;
    // The size as brx writes it, in 20 digits, or as earlier versions wrote it, without leading zeros.
    bool good = read_line(stream, line, complete) && complete &&
                line.rfind(bad_list_title, 0) == 0 &&
                sscanf(line.c_str() + sizeof bad_list_title - 1, "%" SCNu64, &size) == 1 &&
                (line == bad_list_first_line(size) || line == bad_list_title + std::to_string(size) + " bytes");
    if (!good) {
        fclose(stream);
        return refuse(why, "not a list of skipped records");
    }
    uint64_t line_number = 1;
    while (read_line(stream, line, complete)) {
        ++line_number;
        skipped_record_t record;
        uint64_t last = records.empty() ? 0 : records.back().offset;
        if (!complete || !parse_record(line, record) || record.offset < last || record.offset > size) {
            fclose(stream);
            return refuse(why, "line " + std::to_string(line_number) + " is not a skipped record in order");
        }
        records.push_back(record);
    }
    fclose(stream);
    if (size != image_size)
        return refuse(why, "it was written for a dump file of " + std::to_string(size) + " bytes, " + image +
                               " has " + std::to_string(image_size));
    return true;
}

const skipped_record_t* skip_matcher_t::due(uint64_t offset, std::string& why)
{
    if (next == records.size() || records[next].offset > offset)
        return nullptr;
    const skipped_record_t& listed = records[next];
    if (listed.offset != offset || listed.block != blocks || listed.file != file || listed.record != record + 1) {
        why = "it lists block " + std::to_string(listed.block) + " (file " + std::to_string(listed.file) + ", record " +
              std::to_string(listed.record) + ") at offset " + std::to_string(listed.offset) + ", where " + image +
              " has block " + std::to_string(blocks) + " (file " + std::to_string(file) + ", record " +
              std::to_string(record + 1) + ") at offset " + std::to_string(offset);
        return nullptr;
    }
    ++next;
    passed(false);
    return &listed;
}

void skip_matcher_t::passed(bool mark)
{
    ++blocks;
    record = mark ? 0 : record + 1;
    file += mark ? 1 : 0;
}

bool skip_matcher_t::finished(std::string& why) const
{
    if (next == records.size())
        return true;
    why = "it lists records beyond the last block of " + image;
    return false;
}
