#include "tests/support/small_tmpfs_posix.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

// Root may mount in a new mount namespace; anyone else first maps itself to root in a user namespace.
bool enter_private_mounts()
{
    if (unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

}  // namespace

int with_small_tmpfs(const std::string& mountpoint, unsigned mib, const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        const std::string size = "size=" + std::to_string(mib) + "m";
        if (!enter_private_mounts() || mount("tmpfs", mountpoint.c_str(), "tmpfs", 0, size.c_str()) != 0)
            _exit(255);
        _exit(body() & 0x7F);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 254;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}
