#include "brxtool/library_plan.h"

#include <cctype>
#include <cstdlib>

#include "brxtool/element_names.h"

namespace {

bool asked_for(const library_options_t& options, long slot_number)
{
    if (options.slots.empty())
        return true;
    for (const auto& [first, last] : options.slots)
        if (slot_number >= first && slot_number <= last)
            return true;
    return false;
}

bool read_number(const std::string& text, size_t& at, long& value)
{
    size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && at - start < 9)
        ++at;
    value = std::strtol(text.substr(start, at - start).c_str(), nullptr, 10);
    return at > start;
}

}  // namespace

bool parse_slot_ranges(const std::string& text, std::vector<std::pair<long, long>>& ranges)
{
    for (size_t at = 0;; ++at) {
        long first = 0, last = 0;
        if (!read_number(text, at, first))
            return false;
        last = first;
        if (at < text.size() && text[at] == '-' && !read_number(text, ++at, last))
            return false;
        if (last < first)
            return false;
        ranges.emplace_back(first, last);
        if (at == text.size())
            return true;
        if (text[at] != ',')
            return false;
    }
}

std::string safe_name(const std::string& barcode)
{
    std::string name = barcode;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            c = '_';
    return name;
}

void plan_jobs(library_t& library)
{
    std::map<std::string, uint16_t> named;  // name -> the slot of the first tape with it
    for (const element_t& element : library.elements) {
        const long number = element_number(library.changer.layout, element.address);
        if (element.type != element_type_t::slot || !element.full || !asked_for(library.options, number))
            continue;
        tape_job_t job;
        job.slot = element.address;
        job.barcode = element.volume_tag;
        job.name = job.barcode.empty() ? "slot-" + std::to_string(number) : safe_name(job.barcode);
        job.cleaning = element.medium_type == cleaning_medium || job.barcode.rfind("CLN", 0) == 0;
        if (job.cleaning)
            job.status = tape_status_t::cleaning;
        else if (!named.emplace(job.name, job.slot).second) {
            job.status = tape_status_t::failed;
            job.why = "the name " + job.name + " is also the tape's in " +
                      element_name(library.changer.layout, named[job.name]) + "; not imaged";
        }
        library.jobs.push_back(job);
    }
}
