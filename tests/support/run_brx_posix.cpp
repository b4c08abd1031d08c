// Running brx on Linux: fork and exec, its output in temporary files.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/e2e.h"

static std::string contents_of(FILE* stream)
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
    const pid_t child = fork();
    if (child == 0) {
        // A program that hangs is killed by the alarm; one that never stops writing stops at 6 GiB.
        const rlimit file_size{6ull << 30, 6ull << 30};
        setrlimit(RLIMIT_FSIZE, &file_size);
        alarm(static_cast<unsigned>(timeout_seconds));
        std::vector<char*> argv{const_cast<char*>(executable.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (freopen("/dev/null", "r", stdin) != nullptr && dup2(fileno(output), 1) >= 0 &&
            dup2(fileno(error), 2) >= 0 && chdir(directory.c_str()) == 0)
            execv(executable.c_str(), argv.data());
        _exit(127);
    }
    brx_run_t run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exit_status = WEXITSTATUS(status);
    run.standard_output = contents_of(output);
    run.standard_error = contents_of(error);
    return run;
}

brx_run_t run_brx_on(const std::string& variable, const std::string& value,
                     const std::vector<std::string>& arguments, const std::string& directory)
{
    setenv(variable.c_str(), value.c_str(), 1);
    brx_run_t run = run_brx(arguments, directory);
    unsetenv(variable.c_str());
    return run;
}

std::string console_text(const std::string& text) { return text; }
