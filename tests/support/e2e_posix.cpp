#include "tests/support/e2e_posix.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frontend/system_error_text.h"

static std::string contents_of(FILE* stream)
{
    std::string contents(static_cast<size_t>(ftell(stream)), '\0');
    rewind(stream);
    contents.resize(fread(contents.data(), 1, contents.size(), stream));
    fclose(stream);
    return contents;
}

brx_run_t run_brx(const std::vector<std::string>& arguments, const std::string& directory, int timeout_seconds)
{
    return run_program(BRX_EXECUTABLE, arguments, directory, timeout_seconds);
}

brx_run_t run_program(const std::string& executable, const std::vector<std::string>& arguments,
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

scratch_directory_t::scratch_directory_t()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brx-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        directory = pattern;
}

scratch_directory_t::~scratch_directory_t()
{
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

bool scratch_directory_t::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

std::string scratch_directory_t::read(const std::string& name) const
{
    std::ostringstream contents;
    contents << std::ifstream(file(name), std::ios::binary).rdbuf();
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

std::string container_of(const std::vector<std::string>& blocks)
{
    std::string file;
    uint64_t previous = 1;
    for (const std::string& data : blocks) {
        const uint32_t n = static_cast<uint32_t>(data.size()), back = static_cast<uint32_t>(previous);
        const char header[8] = {char(n >> 24),    char(n >> 16),    char(n >> 8),    char(n),
                                char(back >> 24), char(back >> 16), char(back >> 8), char(back)};
        previous = file.size();
        file.append(header, sizeof header);
        file += data;
    }
    return file;
}

std::string record_of(size_t length, unsigned seed)
{
    std::string data(length, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return data;
}

std::string system_text(unsigned long code) { return system_error_text(static_cast<DWORD>(code)); }
