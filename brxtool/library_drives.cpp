#include "brxtool/library_drives.h"

#include <algorithm>
#include <cstdio>

#include "brxtool/changer_text.h"

namespace {

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool names(const element_t& drive, const drive_identity_t& device)
{
    const std::string& id = drive.identifier;
    if (id.empty() || device.serial.empty())
        return false;
    std::string vendor = device.vendor, product = device.product;
    vendor.resize(8, ' ');
    product.resize(16, ' ');
    const std::string inquiry_form = vendor + product + device.serial;
    if (id == device.serial || id == inquiry_form || ends_with(id, device.serial))
        return true;
    return drive.cut && (inquiry_form.rfind(id, 0) == 0 || device.serial.rfind(id, 0) == 0);
}

bool read_identity(tape_t& tape, drive_identity_t& identity)
{
    const scsi_answer_t answer = read_drive_identity(&tape.handle, tape.memory, tape.memory + data_at, identity);
    if (!answer.good() || identity.serial.empty())
        fprintf(stderr, "brxtool: %s: the device tells no serial number%s%s\n", tape.name.c_str(),
                answer.good() ? "" : ": ", answer.good() ? "" : answer_text(answer).c_str());
    return answer.good() && !identity.serial.empty();
}

std::vector<element_t> drive_elements(const library_t& library)
{
    std::vector<element_t> drives;
    for (const element_t& element : library.elements)
        if (element.type == element_type_t::drive)
            drives.push_back(element);
    return drives;
}

std::unique_ptr<library_drive_t> open_drive(const std::string& device)
{
    if (!is_device_name(device)) {
        fprintf(stderr, "brxtool: library: %s is not a tape device\n", device.c_str());
        return nullptr;
    }
    auto drive = std::make_unique<library_drive_t>();
    return open_tape(device, format_t::unknown, drive->tape) ? std::move(drive) : nullptr;
}

bool enlist(library_t& library, std::unique_ptr<library_drive_t> drive, const element_t& element, int number)
{
    for (const auto& other : library.drives)
        if (other->number == number) {
            fprintf(stderr, "brxtool: library: drive:%d is given twice\n", number);
            return false;
        }
    drive->number = number;
    drive->address = element.address;
    library.drives.push_back(std::move(drive));
    return true;
}

bool match_devices(library_t& library, const std::vector<element_t>& drives)
{
    const std::vector<std::string>& devices = library.options.devices;
    std::vector<std::unique_ptr<library_drive_t>> opened;
    std::vector<drive_identity_t> identities(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        opened.push_back(open_drive(devices[i]));
        if (opened[i] == nullptr || !read_identity(opened[i]->tape, identities[i]))
            return false;
    }
    std::vector<int> matched = match_drives(drives, identities);
    for (size_t i = 0; i < matched.size(); ++i) {
        if (matched[i] < 0) {
            fprintf(stderr,
                    "brxtool: library: no drive of the changer tells the serial number %s of %s (--drive N=%s says "
                    "which it is)\n",
                    identities[i].serial.c_str(), devices[i].c_str(), devices[i].c_str());
            return false;
        }
        if (!enlist(library, std::move(opened[i]), drives[static_cast<size_t>(matched[i])], matched[i]))
            return false;
    }
    return true;
}

}  // namespace

std::vector<int> match_drives(const std::vector<element_t>& drives, const std::vector<drive_identity_t>& devices)
{
    std::vector<int> matched(devices.size(), -1);
    std::vector<bool> taken(drives.size(), false);
    // The devices a drive may be, among those still free; whole identifiers first, then cut ones.
    const auto candidates = [&](size_t d) {
        std::vector<size_t> found;
        for (size_t i = 0; i < devices.size(); ++i)
            if (matched[i] < 0 && names(drives[d], devices[i]))
                found.push_back(i);
        return found;
    };
    for (bool with_cut : {false, true})
        for (bool progress = true; progress;) {
            progress = false;
            for (size_t d = 0; d < drives.size(); ++d) {
                std::vector<size_t> found = taken[d] || (drives[d].cut && !with_cut) ? std::vector<size_t>() : candidates(d);
                size_t claimers = 0;  // a device two drives name is neither's
                for (size_t other = 0; found.size() == 1 && other < drives.size(); ++other)
                    claimers += !taken[other] && (!drives[other].cut || with_cut) && names(drives[other], devices[found[0]]);
                if (found.size() == 1 && claimers == 1) {
                    matched[found[0]] = static_cast<int>(d);
                    taken[d] = progress = true;
                }
            }
        }
    return matched;
}

bool open_drives(library_t& library)
{
    const std::vector<element_t> drives = drive_elements(library);
    for (const auto& [number, device] : library.options.drives) {
        if (number < 0 || static_cast<size_t>(number) >= drives.size()) {
            fprintf(stderr, "brxtool: library: --drive %ld: the changer has no drive:%ld (it has %zu drives)\n", number,
                    number, drives.size());
            return false;
        }
        std::unique_ptr<library_drive_t> drive = open_drive(device);
        if (drive == nullptr || !enlist(library, std::move(drive), drives[static_cast<size_t>(number)], static_cast<int>(number)))
            return false;
    }
    if (!match_devices(library, drives))
        return false;
    if (library.drives.empty())
        fprintf(stderr, "brxtool: library: no drive to image with: give --drive N=DEVICE or --devices DEV,...\n");
    return !library.drives.empty();
}
