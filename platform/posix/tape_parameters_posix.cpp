// GetTapeParameters and SetTapeParameters: READ BLOCK LIMITS and the mode pages behind them.
#include <cstring>

#include "platform/posix/tape_api_posix.h"
#include "platform/posix/tape_commands_posix.h"

using namespace posix::tape;

namespace {

constexpr uint8_t page_header_and_descriptor = 0x00;
constexpr uint8_t page_data_compression = 0x0F;
constexpr uint8_t page_device_configuration = 0x10;
constexpr DWORD high_features_marker = 0x80000000u;  // set in the constants, not in FeaturesHigh

uint32_t get24(const uint8_t* field) { return (uint32_t{field[0]} << 16) | (uint32_t{field[1]} << 8) | field[2]; }

// MODE SENSE(6) data: 4-byte header, block descriptors, then pages.
struct mode_data_t {
    uint8_t bytes[255] = {};
    uint32_t length = 0;  // valid bytes, from the header

    uint8_t device_specific() const { return bytes[2]; }
    const uint8_t* descriptor() const { return bytes[3] >= 8 && length >= 12 ? bytes + 4 : nullptr; }
    // The page, when the drive sent all of it.
    uint8_t* page(uint8_t code, uint8_t min_length)
    {
        uint32_t at = 4u + bytes[3];
        bool whole = at + 2 <= length && at + 2u + bytes[at + 1] <= length && bytes[at + 1] + 2u >= min_length;
        return whole && (bytes[at] & 0x3F) == code ? bytes + at : nullptr;
    }
};

DWORD sense_mode(posix::handle_object_t& drive, uint8_t page, mode_data_t& data)
{
    DWORD code = code_of(mode_sense6(drive, page, page != page_header_and_descriptor, data.bytes,
                                     sizeof data.bytes), motion_t::none);
    uint32_t sent = data.bytes[0] + 1u;  // a drive may claim one byte more than was asked for
    data.length = code != NO_ERROR ? 0 : sent > sizeof data.bytes ? sizeof data.bytes : sent;
    return data.length >= 4 ? code : (code != NO_ERROR ? code : ERROR_IO_DEVICE);
}

void read_compression(posix::handle_object_t& drive, TAPE_GET_DRIVE_PARAMETERS& out)
{
    mode_data_t data;
    uint8_t* page = sense_mode(drive, page_data_compression, data) == NO_ERROR
                        ? data.page(page_data_compression, 4) : nullptr;
    if (page == nullptr || (page[2] & 0x40) == 0)
        return;  // the drive cannot compress
    out.FeaturesLow |= TAPE_DRIVE_COMPRESSION;
    out.FeaturesHigh |= TAPE_DRIVE_SET_COMPRESSION & ~high_features_marker;
    out.Compression = (page[2] & 0x80) != 0;
}

// "Buffer size at early warning" of the device configuration page is the drive's warning zone.
void read_warning_zone(posix::handle_object_t& drive, TAPE_GET_DRIVE_PARAMETERS& out)
{
    mode_data_t data;
    uint8_t* page = sense_mode(drive, page_device_configuration, data) == NO_ERROR
                        ? data.page(page_device_configuration, 14) : nullptr;
    if (page != nullptr)
        out.EOTWarningZoneSize = get24(page + 11);
}

DWORD drive_parameters(posix::handle_object_t& drive, TAPE_GET_DRIVE_PARAMETERS& out)
{
    uint8_t limits[6] = {};
    DWORD code = code_of(read_block_limits(drive, limits), motion_t::none);
    if (code != NO_ERROR)
        return code;
    out = TAPE_GET_DRIVE_PARAMETERS{};
    out.MaximumBlockSize = get24(limits + 1);
    out.MinimumBlockSize = (DWORD{limits[4]} << 8) | limits[5];
    mode_data_t data;
    if (sense_mode(drive, page_header_and_descriptor, data) == NO_ERROR && data.descriptor() != nullptr)
        out.DefaultBlockSize = get24(data.descriptor() + 5);
    read_compression(drive, out);
    read_warning_zone(drive, out);
    return NO_ERROR;
}

DWORD media_parameters(posix::handle_object_t& drive, TAPE_GET_MEDIA_PARAMETERS& out)
{
    mode_data_t data;
    DWORD code = sense_mode(drive, page_header_and_descriptor, data);
    if (code != NO_ERROR)
        return code;
    out = TAPE_GET_MEDIA_PARAMETERS{};  // capacity and remaining stay 0: not known
    out.BlockSize = data.descriptor() != nullptr ? get24(data.descriptor() + 5) : 0;
    out.PartitionCount = 1;
    out.WriteProtected = (data.device_specific() & 0x80) != 0;
    return NO_ERROR;
}

// Header and one block descriptor: the block length changes, density and buffered mode stay.
DWORD set_block_size(posix::handle_object_t& drive, DWORD block_size)
{
    if (block_size > transfer_length_max)
        return ERROR_INVALID_PARAMETER;
    mode_data_t data;
    DWORD code = sense_mode(drive, page_header_and_descriptor, data);
    if (code != NO_ERROR)
        return code;
    uint8_t density = data.descriptor() != nullptr ? data.descriptor()[0] : 0;
    uint8_t list[12] = {0, 0, static_cast<uint8_t>(data.device_specific() & 0x7F), 8, density, 0, 0, 0, 0,
                        static_cast<uint8_t>(block_size >> 16), static_cast<uint8_t>(block_size >> 8),
                        static_cast<uint8_t>(block_size)};
    return code_of(mode_select6(drive, false, list, sizeof list), motion_t::none);
}

// Sends one sensed and edited page back, behind a header that keeps buffered mode and speed.
DWORD select_page(posix::handle_object_t& drive, const mode_data_t& data, const uint8_t* page)
{
    uint8_t page_length = static_cast<uint8_t>(page[1] + 2);  // whole within the 255 bytes sensed
    uint8_t list[4 + 255] = {0, 0, static_cast<uint8_t>(data.device_specific() & 0x7F), 0};
    std::memcpy(list + 4, page, page_length);
    list[4] &= 0x3F;  // PS is reserved in MODE SELECT
    return code_of(mode_select6(drive, true, list, static_cast<uint8_t>(4 + page_length)), motion_t::none);
}

// Padding, ECC and setmark reporting are not switches of the drives reached here: taken as given.
DWORD set_compression(posix::handle_object_t& drive, bool on)
{
    mode_data_t data;
    uint8_t* page = sense_mode(drive, page_data_compression, data) == NO_ERROR
                        ? data.page(page_data_compression, 4) : nullptr;
    if (page == nullptr || (page[2] & 0x40) == 0)
        return on ? ERROR_INVALID_FUNCTION : NO_ERROR;
    if (((page[2] & 0x80) != 0) == on)
        return NO_ERROR;
    page[2] = static_cast<uint8_t>((page[2] & 0x7F) | (on ? 0x80 : 0));
    return select_page(drive, data, page);
}

// The zone travels in the device configuration page; a drive without the page has none to set.
DWORD set_warning_zone(posix::handle_object_t& drive, DWORD zone)
{
    mode_data_t data;
    uint8_t* page = sense_mode(drive, page_device_configuration, data) == NO_ERROR
                        ? data.page(page_device_configuration, 14) : nullptr;
    if (page == nullptr)
        return zone == 0 ? NO_ERROR : ERROR_INVALID_FUNCTION;
    if (get24(page + 11) == zone)
        return NO_ERROR;
    if (zone > 0xFFFFFF)
        return ERROR_INVALID_PARAMETER;
    page[11] = static_cast<uint8_t>(zone >> 16);
    page[12] = static_cast<uint8_t>(zone >> 8);
    page[13] = static_cast<uint8_t>(zone);
    return select_page(drive, data, page);
}

template <typename structure_t>
DWORD fill(LPDWORD size, LPVOID information, DWORD (*query)(posix::handle_object_t&, structure_t&),
           posix::handle_object_t& drive)
{
    if (size == nullptr || information == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (*size < sizeof(structure_t)) {
        *size = sizeof(structure_t);
        return ERROR_MORE_DATA;
    }
    structure_t answer_data{};
    DWORD code = query(drive, answer_data);
    if (code == NO_ERROR) {
        std::memcpy(information, &answer_data, sizeof answer_data);
        *size = sizeof(structure_t);
    }
    return code;
}

}  // namespace

DWORD GetTapeParameters(HANDLE device, DWORD operation, LPDWORD size, LPVOID information)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (operation == GET_TAPE_DRIVE_INFORMATION)
        return answer(fill(size, information, drive_parameters, *drive));
    if (operation == GET_TAPE_MEDIA_INFORMATION)
        return answer(fill(size, information, media_parameters, *drive));
    return answer(ERROR_INVALID_PARAMETER);
}

DWORD SetTapeParameters(HANDLE device, DWORD operation, LPVOID information)
{
    posix::handle_object_t* drive = drive_of(device);
    if (drive == nullptr)
        return answer(ERROR_INVALID_HANDLE);
    if (information == nullptr)
        return answer(ERROR_INVALID_PARAMETER);
    if (operation == SET_TAPE_MEDIA_INFORMATION) {
        TAPE_SET_MEDIA_PARAMETERS media;
        std::memcpy(&media, information, sizeof media);
        return answer(set_block_size(*drive, media.BlockSize));
    }
    if (operation == SET_TAPE_DRIVE_INFORMATION) {
        TAPE_SET_DRIVE_PARAMETERS settings;
        std::memcpy(&settings, information, sizeof settings);
        DWORD code = set_compression(*drive, settings.Compression != 0);
        return answer(code != NO_ERROR ? code : set_warning_zone(*drive, settings.EOTWarningZoneSize));
    }
    return answer(ERROR_INVALID_PARAMETER);
}
