// Running programs on Linux: fork and exec, their output in temporary files.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "tests/support/e2e.h"
#include "tests/support/spawn_posix.h"

pid_t spawn(const spawn_t& how)
{
    const pid_t child = how.terminal != nullptr ? forkpty(how.terminal, nullptr, nullptr, nullptr) : fork();
    if (child != 0)
        return child;
    for (const auto& [name, value] : how.variables)
        setenv(name.c_str(), value.c_str(), 1);
    const rlimit limit{how.file_limit, how.file_limit};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_DFL);  // the test program may ignore it; the child's pipelines must not inherit that
    alarm(how.timeout_seconds);
    std::vector<char*> argv{const_cast<char*>(how.program.c_str())};
    for (const std::string& argument : how.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int null = how.terminal != nullptr ? -1 : open("/dev/null", O_RDWR);
    const auto stream = [&](int from, int to) { return how.terminal != nullptr || dup2(from < 0 ? null : from, to) >= 0; };
    if (stream(null, 0) && stream(how.output, 1) && stream(how.error, 2) && chdir(how.directory.c_str()) == 0)
        execv(how.program.c_str(), argv.data());
    _exit(127);
}

int finish(pid_t child)
{
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string contents_of(FILE* stream)
{
    std::string contents(static_cast<size_t>(ftell(stream)), '\0');
    rewind(stream);
    contents.resize(fread(contents.data(), 1, contents.size(), stream));
    fclose(stream);
    return contents;
}

brx_run_t run_program_once(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::string& directory, int timeout_seconds)
{
    FILE* output = tmpfile();
    FILE* error = tmpfile();
    spawn_t how{executable, arguments, directory, {}, fileno(output), fileno(error)};
    how.timeout_seconds = static_cast<unsigned>(timeout_seconds);
    return {finish(spawn(how)), contents_of(output), contents_of(error)};
}

std::string console_text(const std::string& text) { return text; }
