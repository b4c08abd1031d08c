// ReadFile and WriteFile on a tape handle: one variable-length record per call.
#include "platform/posix/tape_api_posix.h"

#include "platform/posix/errors.h"
#include "platform/posix/tape_commands_posix.h"

namespace posix {
namespace tape {

handle_object_t* drive_of(HANDLE device)
{
    handle_object_t* object = handle_of(device);
    return object != nullptr && object->kind == handle_kind_t::device ? object : nullptr;
}

DWORD answer(DWORD code)
{
    if (code != NO_ERROR)
        SetLastError(code);
    return code;
}

namespace {

// Bytes the drive moved, from the residue: requested minus INFORMATION, within 0..requested.
DWORD moved(const reply_t& reply, DWORD requested, DWORD without_residue)
{
    if (!reply.valid())
        return without_residue;
    int64_t actual = int64_t{requested} - reply.information();
    return actual < 0 ? 0 : actual > int64_t{requested} ? requested : static_cast<DWORD>(actual);
}

// A record shorter than asked is an ordinary read; a longer one fills the buffer and fails.
BOOL length_mismatch(const reply_t& reply, DWORD to_read, LPDWORD read)
{
    if (!reply.valid())
        return fail(ERROR_INVALID_BLOCK_LENGTH);  // the record's length is unknown
    if (reply.information() >= 0) {
        *read = moved(reply, to_read, 0);  // tape behind the short record
        return TRUE;
    }
    *read = to_read;  // tape behind the long record; its tail is lost
    return fail(ERROR_MORE_DATA);
}

}  // namespace
}  // namespace tape

BOOL device_read_file(handle_object_t& object, LPVOID buffer, DWORD to_read, LPDWORD read)
{
    using namespace tape;
    DWORD ignored = 0;
    read = read != nullptr ? read : &ignored;
    *read = 0;
    if (to_read > transfer_length_max)
        return fail(ERROR_INVALID_PARAMETER);
    reply_t reply = read6(object, static_cast<uint8_t*>(buffer), to_read);
    if (reply.good()) {
        *read = to_read;  // tape behind the record
        return TRUE;
    }
    bool soft = reply.sensed() && (reply.key() == key_no_sense || reply.key() == key_recovered_error);
    if (soft && reply.ili() && !reply.filemark() && !reply.eom())
        return length_mismatch(reply, to_read, read);
    DWORD code = code_of(reply, motion_t::forward);
    if (code == NO_ERROR) {
        *read = moved(reply, to_read, to_read);  // recovered: tape behind the record
        return TRUE;
    }
    // Tape behind a tape mark, at the end of data or at the end of the medium.
    if (code == ERROR_END_OF_MEDIA)
        *read = moved(reply, to_read, 0);
    return fail(code);
}

// A write in the early-warning zone has put its record on the tape and still answers
// ERROR_END_OF_MEDIA, as Windows does, so that a caller learns of the coming end in time; the
// count then says the record was written. A full medium (VOLUME OVERFLOW) writes nothing.
BOOL device_write_file(handle_object_t& object, LPCVOID buffer, DWORD to_write, LPDWORD written)
{
    using namespace tape;
    DWORD ignored = 0;
    written = written != nullptr ? written : &ignored;
    *written = 0;
    if (to_write > transfer_length_max)
        return fail(ERROR_INVALID_PARAMETER);
    reply_t reply = write6(object, static_cast<const uint8_t*>(buffer), to_write);
    DWORD code = code_of(reply, motion_t::forward);
    bool soft = reply.sensed() && (reply.key() == key_no_sense || reply.key() == key_recovered_error);
    if (code == NO_ERROR || (code == ERROR_END_OF_MEDIA && soft))
        *written = reply.good() ? to_write : moved(reply, to_write, to_write);  // tape behind the record
    else if (code == ERROR_END_OF_MEDIA)
        *written = moved(reply, to_write, 0);  // full: tape at the end of what was written
    return code == NO_ERROR ? TRUE : fail(code);
}

}  // namespace posix
