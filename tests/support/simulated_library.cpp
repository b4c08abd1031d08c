#include "tests/support/simulated_library.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/posix/device_namespace.h"
#include "tests/support/environment.h"
#include "vtape/vtape.h"
#include "vtape/vtape_device.h"

namespace {

constexpr uint16_t transport_at = 100, drives_at = 200, slots_at = 300, portal_at = 400;
constexpr uint8_t illegal = 5;
const std::string drive_identity = "BRXSIM  DRIVE           ";  // vendor and product, as INQUIRY gives them

struct fault_t { int drive; uint8_t opcode, key, asc, ascq; bool quiet; unsigned skip; };

// home: the slot it came from, while in a drive
struct medium_t { std::string barcode, path; bool cleaning = false; uint16_t home = 0; };

// medium: the virtual drive playing the loaded tape
struct drive_t { std::mutex lock; std::unique_ptr<posix::scsi_device_t> medium; };

std::vector<uint8_t> sense_of(uint8_t key, uint8_t asc, uint8_t ascq)
{
    return {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq, 0, 0, 0, 0};
}

// GOOD with data in, or CHECK CONDITION with sense; cut to the caller's room.
posix::scsi_reply_t answer(const posix::scsi_command_t& command, const std::vector<uint8_t>& bytes, bool check = false)
{
    posix::scsi_reply_t reply;
    const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(bytes.size()),
                                              check ? command.sense_capacity : command.data_length);
    if (count != 0)
        std::memcpy(check ? command.sense : command.data, bytes.data(), count);
    reply.status = check ? 2 : 0;
    (check ? reply.sense_length : reply.data_transferred) = count;
    return reply;
}

void put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { vtape_put_be16(&bytes[at], value); }

uint16_t be16(const uint8_t* at) { return static_cast<uint16_t>(vtape_be16(at)); }

std::vector<uint8_t> with_text(std::vector<uint8_t> bytes, const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

std::string padded(std::string text, size_t length)
{
    text.resize(length, ' ');
    return text;
}

}  // namespace

class simulated_library_impl_t {
public:
    simulated_library_impl_t(const std::string& folder, int drives, int slots)
        : folder(folder), drives(static_cast<size_t>(drives)), slots(slots)
    {
    }

    std::mutex lock;
    std::string folder;
    std::vector<drive_t> drives;
    int slots;
    std::map<uint16_t, medium_t> media;  // by the element that holds it
    std::deque<fault_t> faults;
    std::vector<uint8_t> commands, held_sense;
    bool refuse_both = false;
    uint16_t per_reply = 0;
    uint32_t short_by = 0;

    bool is_drive(size_t address) const { return address >= drives_at && address < drives_at + drives.size(); }

    bool fault(int drive, const posix::scsi_command_t& command, posix::scsi_reply_t& reply)
    {
        for (auto at = faults.begin(); at != faults.end(); ++at)
            if (at->drive == drive && at->opcode == command.cdb[0] && at->skip-- == 0) {
                held_sense = sense_of(at->key, at->asc, at->ascq);
                reply = answer(command, at->quiet ? std::vector<uint8_t>() : held_sense, true);
                faults.erase(at);
                return true;
            }
        return false;
    }

    std::vector<std::pair<uint8_t, uint16_t>> elements(uint8_t type, uint16_t start, uint16_t count) const
    {
        const size_t firsts[] = {0, transport_at, slots_at, portal_at, drives_at};
        const size_t counts[] = {0, 1, static_cast<size_t>(slots), 1, drives.size()};
        std::vector<std::pair<uint8_t, uint16_t>> found;
        for (uint8_t kind = 1; kind <= 4; ++kind)
            for (size_t i = 0; i < counts[kind]; ++i)
                if ((type == 0 || type == kind) && firsts[kind] + i >= start && found.size() < count)
                    found.emplace_back(kind, static_cast<uint16_t>(firsts[kind] + i));
        return found;
    }

    std::vector<uint8_t> descriptor(uint16_t address, bool tags, bool identifiers) const
    {
        std::vector<uint8_t> bytes(12);
        put16(bytes, 0, address);
        auto held = media.find(address);
        if (held != media.end()) {
            bytes[2] = 0x01;
            bytes[9] = static_cast<uint8_t>((held->second.home != 0 ? 0x80 : 0) | (held->second.cleaning ? 2 : 1));
            put16(bytes, 10, held->second.home);
        }
        if (tags)
            bytes = with_text(bytes, padded(held == media.end() ? "" : held->second.barcode, 36));
        // Vendor, product and serial number, as the unit serial page and INQUIRY tell them.
        if (identifiers)
            bytes = with_text(with_text(bytes, {2, 1, 0, 32}),
                              padded(is_drive(address) ? drive_identity + "SIMSER" + std::to_string(address - drives_at) : "", 32));
        return bytes;
    }

    std::vector<uint8_t> element_status(const uint8_t* cdb) const
    {
        const bool tags = (cdb[1] & 0x10) != 0, identifiers = (cdb[6] & 0x01) != 0;
        const uint16_t count = per_reply != 0 ? std::min(be16(cdb + 4), per_reply) : be16(cdb + 4);
        std::vector<uint8_t> reply(8);
        uint8_t page_type = 0;
        size_t page_at = 0;
        for (const auto& [type, address] : elements(cdb[1] & 0x07, be16(cdb + 2), count)) {
            if (type != page_type) {
                page_type = type;
                page_at = reply.size();
                reply.insert(reply.end(), {type, static_cast<uint8_t>(tags ? 0x80 : 0), 0, 0, 0, 0, 0, 0});
            }
            std::vector<uint8_t> bytes = descriptor(address, tags, identifiers);
            put16(reply, page_at + 2, static_cast<uint32_t>(bytes.size()));
            reply.insert(reply.end(), bytes.begin(), bytes.end());
            put16(reply, page_at + 6, static_cast<uint32_t>(reply.size() - page_at - 8));
        }
        put16(reply, 2, count);
        put16(reply, 6, static_cast<uint32_t>(reply.size() - 8));
        reply.resize(reply.size() - std::min<size_t>(short_by, reply.size() - 8));  // as tgt's replies end
        return reply;
    }

    posix::scsi_reply_t move(const posix::scsi_command_t& command)
    {
        const uint16_t from = be16(command.cdb + 4), to = be16(command.cdb + 6);
        if (media.count(from) == 0)
            return answer(command, sense_of(illegal, 0x3B, 0x0E), true);
        if (media.count(to) != 0)
            return answer(command, sense_of(illegal, 0x3B, 0x0D), true);
        medium_t medium = media[from];
        media.erase(from);
        for (size_t i = 0; i < drives.size(); ++i) {
            std::lock_guard<std::mutex> guard(drives[i].lock);
            if (from == drives_at + i)
                drives[i].medium.reset();
            if (to == drives_at + i && vtape_open_device(("vtape:" + medium.path).c_str(), drives[i].medium) != NO_ERROR)
                return answer(command, sense_of(4, 0x3B, 0x00), true);
        }
        medium.home = is_drive(to) ? (medium.home != 0 ? medium.home : from) : 0;
        media[to] = medium;
        return {};
    }

    posix::scsi_reply_t changer(const posix::scsi_command_t& command)
    {
        std::lock_guard<std::mutex> guard(lock);
        commands.push_back(command.cdb[0]);
        posix::scsi_reply_t reply;
        if (fault(-1, command, reply))
            return reply;
        switch (command.cdb[0]) {
        case 0x03:
            return answer(command, held_sense);
        case 0x12:
            return answer(command, with_text({8, 0, 5, 2, 31, 0, 0, 0}, "BRXSIM  "));
        case 0x1A: {
            std::vector<uint8_t> page(24);
            page[0] = 23;
            page[4] = 0x1D;
            page[5] = 18;
            const size_t layout[] = {transport_at, 1, slots_at, static_cast<size_t>(slots), portal_at, 1, drives_at, drives.size()};
            for (size_t i = 0; i < 8; ++i)
                put16(page, 6 + 2 * i, static_cast<uint32_t>(layout[i]));
            return answer(command, page);
        }
        case 0xB8:
            if (refuse_both && (command.cdb[1] & 0x10) != 0 && (command.cdb[6] & 0x01) != 0)
                return answer(command, sense_of(illegal, 0x24, 0x00), true);
            return answer(command, element_status(command.cdb));
        case 0xA5:
            return move(command);
        default:
            return reply;
        }
    }

    posix::scsi_reply_t drive(size_t index, const posix::scsi_command_t& command)
    {
        posix::scsi_reply_t reply;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (fault(static_cast<int>(index), command, reply))
                return reply;
        }
        const std::string serial = "SIMSER" + std::to_string(index);
        if (command.cdb[0] == 0x12)
            return answer(command, (command.cdb[1] & 1) != 0 ? with_text({1, 0x80, 0, static_cast<uint8_t>(serial.size())}, serial)
                                                             : with_text({1, 0x80, 5, 2, 31, 0, 0, 0}, drive_identity));
        std::lock_guard<std::mutex> guard(drives[index].lock);
        if (drives[index].medium == nullptr)
            return answer(command, sense_of(2, 0x3A, 0x00), true);  // not ready: no medium
        return drives[index].medium->execute(command);
    }
};

namespace {

// The devices a handle reaches: one library's changer or one of its drives.
class simulated_device_t : public posix::scsi_device_t {
public:
    simulated_device_t(std::shared_ptr<simulated_library_impl_t> library, int drive) : library(std::move(library)), index(drive) {}
    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override
    {
        return index < 0 ? library->changer(command) : library->drive(static_cast<size_t>(index), command);
    }

private:
    std::shared_ptr<simulated_library_impl_t> library;
    int index;
};

std::mutex registry_lock;
std::map<std::string, std::weak_ptr<simulated_library_impl_t>> registry;  // "sim<unit>:" -> library

// "sim<unit>:changer" or "sim<unit>:drive<i>".
DWORD open_simulated(const char* device_string, std::unique_ptr<posix::scsi_device_t>& device)
{
    const std::string text = device_string;
    const size_t colon = text.find(':');
    std::lock_guard<std::mutex> guard(registry_lock);
    std::shared_ptr<simulated_library_impl_t> library = registry[text.substr(0, colon + 1)].lock();
    const std::string what = text.substr(colon + 1);
    if (library == nullptr || (what != "changer" && what.rfind("drive", 0) != 0))
        return ERROR_FILE_NOT_FOUND;
    device = std::make_unique<simulated_device_t>(library, what == "changer" ? -1 : std::stoi(what.substr(5)));
    return NO_ERROR;
}

}  // namespace

simulated_library_t::simulated_library_t(const std::string& folder, int drives, int slots, int unit)
    : impl(std::make_shared<simulated_library_impl_t>(folder, drives, slots)), changer_unit(unit)
{
    const std::string scheme = "sim" + std::to_string(unit) + ":";
    {
        std::lock_guard<std::mutex> guard(registry_lock);
        registry[scheme] = impl;
    }
    posix::register_device_scheme(scheme.c_str(), open_simulated);
    set_environment("BRX_CHANGER" + std::to_string(unit), scheme + "changer");
    for (int i = 0; i < drives; ++i)
        set_environment("BRX_TAPE" + std::to_string(unit * 10 + i), scheme + "drive" + std::to_string(i));
}

simulated_library_t::~simulated_library_t() = default;

void simulated_library_t::put(int slot, const std::string& barcode, const std::string& contents, bool cleaning)
{
    const std::string path = impl->folder + "/medium-" + std::to_string(slot);
    std::ofstream(path, std::ios::binary) << contents;
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->media[static_cast<uint16_t>(slots_at + slot - 1)] = {barcode, path, cleaning, 0};
}

void simulated_library_t::put_file(int slot, const std::string& barcode, const std::string& path,
                                   const std::string& options)
{
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->media[static_cast<uint16_t>(slots_at + slot - 1)] = {barcode, path + "?" + options, false, 0};
}

void simulated_library_t::fail_next(int drive, uint8_t opcode, uint8_t key, uint8_t asc, uint8_t ascq, bool quiet,
                                    unsigned skip)
{
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->faults.push_back({drive, opcode, key, asc, ascq, quiet, skip});
}

void simulated_library_t::limit_replies(bool refuse_tags_with_identifiers, uint16_t elements_per_reply,
                                        uint32_t short_by)
{
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->refuse_both = refuse_tags_with_identifiers;
    impl->per_reply = elements_per_reply;
    impl->short_by = short_by;
}

std::vector<uint8_t> simulated_library_t::changer_commands() const
{
    std::lock_guard<std::mutex> guard(impl->lock);
    return impl->commands;
}

std::string simulated_library_t::holds(uint16_t address) const
{
    std::lock_guard<std::mutex> guard(impl->lock);
    auto held = impl->media.find(address);
    return held == impl->media.end() ? "" : held->second.barcode.empty() ? "-" : held->second.barcode;
}

std::string simulated_library_t::changer_name() const { return "\\\\.\\Changer" + std::to_string(changer_unit); }

std::string simulated_library_t::drive_name(int drive) const
{
    return "\\\\.\\Tape" + std::to_string(changer_unit * 10 + drive);
}
