#include "tests/support/run_brx.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

[[noreturn]] void run_child(const std::vector<std::string>& arguments, const std::string& directory,
                            int output, int error)
{
    // A brx that never stops writing must not fill the disk for everyone: files stop at 6 GiB,
    // room enough for containers beyond 4 GiB.
    const rlimit file_size{6ull << 30, 6ull << 30};
    setrlimit(RLIMIT_FSIZE, &file_size);
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0 ||
        chdir(directory.c_str()) != 0)
        _exit(126);
    std::vector<char*> argv{const_cast<char*>(BRX_EXECUTABLE)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(BRX_EXECUTABLE, argv.data());
    _exit(127);
}

// Reads both pipes until both are closed or the deadline passes; false on the deadline.
bool collect(int output, int error, brx_run_t& run, std::chrono::steady_clock::time_point deadline)
{
    pollfd fds[2] = {{output, POLLIN, 0}, {error, POLLIN, 0}};
    std::string* sinks[2] = {&run.standard_output, &run.standard_error};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (poll(fds, 2, 100) < 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(got));
            } else {
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    return true;
}

}  // namespace

brx_run_t run_brx(const std::vector<std::string>& arguments, const std::string& directory, int timeout_seconds)
{
    brx_run_t run;
    int output[2], error[2];
    if (pipe(output) != 0 || pipe(error) != 0)
        return run;
    const pid_t child = fork();
    if (child == 0)
        run_child(arguments, directory, output[1], error[1]);
    close(output[1]);
    close(error[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    if (child > 0 && !collect(output[0], error[0], run, deadline)) {
        run.timed_out = true;
        kill(child, SIGKILL);
    }
    close(output[0]);
    close(error[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exit_status = run.timed_out ? -1 : WEXITSTATUS(status);
    return run;
}

scratch_directory_t::scratch_directory_t()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brx-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        directory = pattern;
}

scratch_directory_t::~scratch_directory_t()
{
    std::error_code ignored;
    if (!directory.empty())
        std::filesystem::remove_all(directory, ignored);
}

bool scratch_directory_t::exists(const std::string& name) const
{
    return std::filesystem::exists(file(name));
}

std::string scratch_directory_t::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void scratch_directory_t::write(const std::string& name, const std::string& contents) const
{
    std::ofstream(file(name), std::ios::binary) << contents;
}

std::vector<std::string> scratch_directory_t::names() const
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}
