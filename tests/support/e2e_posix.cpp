#include "tests/support/e2e_posix.h"

#include <cstdlib>

#include "frontend/system_error_text.h"

std::string container_of(const std::vector<std::string>& blocks)
{
    std::string file;
    uint64_t previous = 1;
    for (const std::string& data : blocks) {
        const uint32_t n = static_cast<uint32_t>(data.size());
        const uint32_t back = static_cast<uint32_t>(previous);
        const char header[8] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n),
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

brx_run_t run_brx_on(const std::string& variable, const std::string& value,
                     const std::vector<std::string>& arguments, const std::string& directory)
{
    // The child inherits the environment; the variable is gone again before the next run.
    setenv(variable.c_str(), value.c_str(), 1);
    brx_run_t run = run_brx(arguments, directory);
    unsetenv(variable.c_str());
    return run;
}

std::string system_text(unsigned long code) { return system_error_text(static_cast<DWORD>(code)); }
