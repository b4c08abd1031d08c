#include "brxtool/list_output.h"

#include <cinttypes>
#include <cstdio>

#include "copy/json_text.h"

namespace {

std::string label_text(const label_t& label)
{
    std::string text = label.id + " (" + label.code + ")";
    const char* separator = " ";
    for (const label_field_t& field : label.fields) {
        text += separator + std::string(field.name) + " " + field.value;
        separator = ", ";
    }
    return text;
}

std::string label_json(const label_t& label)
{
    std::string text = "{";
    text += label_json_members(label);
    return text + "}";
}

std::string passed_text(const passed_over_t& passed)
{
    std::string text;
    const struct { uint32_t count; const char* what; } kinds[] = {{passed.gaps, "gaps"},
                                                                   {passed.private_items, "private"},
                                                                   {passed.reserved, "reserved"},
                                                                   {passed.descriptions, "descriptions"}};
    for (const auto& kind : kinds)
        if (kind.count != 0)
            text += (text.empty() ? "" : ", ") + std::to_string(kind.count) + " " + kind.what;
    return text;
}

}  // namespace

void list_output_t::begin(const std::string& name, const char* format)
{
    if (json)
        printf("{\"image\": %s, \"format\": \"%s\",\n \"files\": [", json_string(name).c_str(), format);
    else
        printf("%s: %s\n", name.c_str(), format);
}

void list_output_t::open_file(uint64_t file)
{
    if (file_open)
        return;
    file_open = true;
    first_entry = true;
    if (json)
        printf("%s\n  {\"file\": %" PRIu64 ", \"entries\": [", first_file ? "" : ",", file);
    first_file = false;
}

void list_output_t::entry(uint64_t file, const run_t& run)
{
    open_file(file);
    if (json) {
        printf("%s\n    {\"first\": %" PRIu64 ", \"last\": %" PRIu64 ", \"bytes\": %u%s%s%s}", first_entry ? "" : ",",
               run.first, run.last, run.length, run.bad ? ", \"bad\": true" : "", run.labelled ? ", \"label\": " : "",
               run.labelled ? label_json(run.label).c_str() : "");
        first_entry = false;
        return;
    }
    if (run.first == run.last)
        printf("file %" PRIu64 ": record %" PRIu64 ": %u bytes", file, run.first, run.length);
    else
        printf("file %" PRIu64 ": records %" PRIu64 "-%" PRIu64 ": %u bytes", file, run.first, run.last, run.length);
    printf("%s%s%s\n", run.bad ? ", bad" : "", run.labelled ? ": " : "", run.labelled ? label_text(run.label).c_str() : "");
}

void list_output_t::file_end(uint64_t file, uint64_t records, uint64_t bytes, bool mark)
{
    open_file(file);
    file_open = false;
    if (json)
        printf("],\n   \"records\": %" PRIu64 ", \"bytes\": %" PRIu64 ", \"tape_mark\": %s}", records, bytes,
               mark ? "true" : "false");
    else
        printf("file %" PRIu64 ": %s: %" PRIu64 " records, %" PRIu64 " bytes\n", file, mark ? "tape mark" : "no tape mark",
               records, bytes);
}

void list_output_t::passed(uint64_t file, uint64_t record, const passed_over_t& passed)
{
    if (!json)
        printf("file %" PRIu64 ": before record %" PRIu64 ": passed over %s\n", file, record, passed_text(passed).c_str());
}

void list_output_t::end(const list_totals_t& totals, bool complete)
{
    const passed_over_t& passed = totals.passed;
    if (json) {
        printf("],\n \"totals\": {\"files\": %" PRIu64 ", \"records\": %" PRIu64 ", \"bytes\": %" PRIu64
               ", \"tape_marks\": %" PRIu64 ", \"bad_records\": %" PRIu64 ",\n  \"passed_over\": {\"gaps\": %u, "
               "\"private\": %u, \"reserved\": %u, \"descriptions\": %u}},\n \"stray_bytes\": %" PRIu64
               ", \"complete\": %s}\n",
               totals.files, totals.records, totals.bytes, totals.marks, totals.bad, passed.gaps, passed.private_items,
               passed.reserved, passed.descriptions, totals.stray, complete ? "true" : "false");
        return;
    }
    printf("%s: %" PRIu64 " files, %" PRIu64 " records, %" PRIu64 " bytes, %" PRIu64 " tape marks, %" PRIu64
           " bad records\n",
           complete ? "total" : "total so far", totals.files, totals.records, totals.bytes, totals.marks,
           totals.bad);
    std::string text = passed_text(passed);
    if (!text.empty())
        printf("passed over: %s\n", text.c_str());
    if (!totals.stray_note.empty())
        printf("%s\n", totals.stray_note.c_str());
}
