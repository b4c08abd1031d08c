// ReadFile, WriteFile, SetEndOfFile and FlushFileBuffers on files; devices go to the tape class driver.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/errors.h"
#include "platform/posix/handle_object.h"

namespace {

void set_count(LPDWORD count, DWORD value)
{
    if (count != nullptr) *count = value;
}

// A file handle opened with the access the call needs; sets the last error and gives nullptr otherwise.
posix::handle_object_t* file_for(HANDLE handle, DWORD needed_access)
{
    posix::handle_object_t* object = posix::handle_of(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind == posix::handle_kind_t::file && (object->access & needed_access) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

// Reads until the count is reached or the file ends: Windows returns short only at the end.
BOOL read_file(int fd, uint8_t* buffer, DWORD to_read, LPDWORD read_count)
{
    DWORD done = 0;
    while (done < to_read) {
        ssize_t got = read(fd, buffer + done, to_read - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            set_count(read_count, done);
            return posix::fail_errno();
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    set_count(read_count, done);
    return TRUE;
}

// Writes everything; a full disk fails the call with the bytes that did reach the file counted.
BOOL write_file(int fd, const uint8_t* buffer, DWORD to_write, LPDWORD written)
{
    DWORD done = 0;
    while (done < to_write) {
        ssize_t put = write(fd, buffer + done, to_write - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            set_count(written, done);
            return posix::fail(put == 0 ? ERROR_DISK_FULL : posix::error_from_errno(errno));
        }
        done += static_cast<DWORD>(put);
    }
    set_count(written, done);
    return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD to_read, LPDWORD read_count, LPOVERLAPPED overlapped)
{
    set_count(read_count, 0);
    posix::handle_object_t* object = file_for(handle, GENERIC_READ);
    if (object == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && to_read != 0)) return posix::fail(ERROR_INVALID_PARAMETER);
    if (object->kind == posix::handle_kind_t::device)
        return posix::device_read_file(*object, buffer, to_read, read_count);
    return read_file(object->fd, static_cast<uint8_t*>(buffer), to_read, read_count);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped)
{
    set_count(written, 0);
    posix::handle_object_t* object = file_for(handle, GENERIC_WRITE);
    if (object == nullptr) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && to_write != 0)) return posix::fail(ERROR_INVALID_PARAMETER);
    if (object->kind == posix::handle_kind_t::device)
        return posix::device_write_file(*object, buffer, to_write, written);
    return write_file(object->fd, static_cast<const uint8_t*>(buffer), to_write, written);
}

BOOL SetEndOfFile(HANDLE handle)
{
    posix::handle_object_t* object = file_for(handle, GENERIC_WRITE);
    if (object == nullptr) return FALSE;
    if (object->kind == posix::handle_kind_t::device) return posix::fail(ERROR_INVALID_FUNCTION);
    off_t here = lseek(object->fd, 0, SEEK_CUR);
    if (here < 0) return posix::fail_errno();
    // Writers at the end of a file call this after every block; truncating is the costly part.
    struct stat info {};
    if (fstat(object->fd, &info) == 0 && info.st_size == here) return TRUE;
    if (ftruncate(object->fd, here) != 0) return posix::fail_errno();
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle)
{
    posix::handle_object_t* object = file_for(handle, GENERIC_WRITE);
    if (object == nullptr) return FALSE;
    // A device keeps nothing back: every SCSI command has completed when DeviceIoControl returns.
    if (object->kind == posix::handle_kind_t::device) return TRUE;
    if (fsync(object->fd) != 0) return posix::fail_errno();
    return TRUE;
}
