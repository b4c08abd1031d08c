// Windows' sharing rules across processes, kept with open-file-description locks on bytes far
// beyond any file's data. Each open announces what it does (reads, writes) and what it refuses
// others (reading, writing) by holding a lock in the range of that meaning; a later open probes
// the ranges it conflicts with. The locks vanish with the descriptor, also when a process is killed.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/file_open.h"

namespace posix {
namespace {

enum meaning_t { reads, writes, denies_read, denies_write };

constexpr off_t lock_base = off_t{1} << 62;
constexpr off_t lock_span = off_t{1} << 32;  // per meaning: byte 0 shared by readable opens,
                                             // the others each a write-only open's own

flock lock_of(short type, meaning_t meaning, off_t offset, off_t length)
{
    flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = lock_base + meaning * lock_span + offset;
    lock.l_len = length;
    return lock;
}

// True when another open holds a lock of this meaning (or when it cannot be told: no lock support).
bool held_by_others(int fd, meaning_t meaning)
{
    flock probe = lock_of(F_WRLCK, meaning, 0, lock_span);
    return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// A shared lock needs a readable descriptor; a write-only one takes a byte of its own exclusively.
bool announce(int fd, meaning_t meaning, bool readable)
{
    if (readable) {
        flock lock = lock_of(F_RDLCK, meaning, 0, 1);
        return fcntl(fd, F_OFD_SETLK, &lock) == 0 || (errno != EAGAIN && errno != EACCES);
    }
    static std::atomic<uint32_t> next{0};
    const uint64_t start = uint64_t(getpid()) * 2654435761u + next++;
    for (uint64_t tries = 0; tries < 64; ++tries) {
        flock lock = lock_of(F_WRLCK, meaning, off_t(1 + (start + tries) % uint64_t(lock_span - 1)), 1);
        if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EAGAIN && errno != EACCES) return true;  // locks unsupported: nothing to keep
    }
    return false;
}

}  // namespace

// Announces first and probes after, so two conflicting opens racing each other both fail rather than
// both succeed. An open without data access takes part in no sharing, as on Windows.
DWORD claim_sharing(int fd, DWORD access, DWORD share_mode)
{
    const bool read = (access & GENERIC_READ) != 0, write = (access & GENERIC_WRITE) != 0;
    if (!read && !write) return NO_ERROR;
    const int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
    const bool readable = mode == O_RDONLY || mode == O_RDWR;
    const struct { bool applies; meaning_t own, conflicting; } rules[] = {
        {read, reads, denies_read},
        {write, writes, denies_write},
        {(share_mode & FILE_SHARE_READ) == 0, denies_read, reads},
        {(share_mode & FILE_SHARE_WRITE) == 0, denies_write, writes},
    };
    for (const auto& rule : rules)
        if (rule.applies && !announce(fd, rule.own, readable)) return ERROR_SHARING_VIOLATION;
    for (const auto& rule : rules)
        if (rule.applies && held_by_others(fd, rule.conflicting)) return ERROR_SHARING_VIOLATION;
    return NO_ERROR;
}

}  // namespace posix
