// Running brx.exe on Windows (under wine here): CreateProcess, its output in temporary files.
#include <filesystem>

#include "platform/platform.h"
#include "tests/support/e2e.h"

namespace {

// A brx that never stops writing is stopped at this many bytes in its directory.
constexpr uintmax_t directory_limit = 6ull << 30;

// An argument as the C runtime splits it again: quoted, with backslashes doubled before a quote.
std::string quoted(const std::string& argument)
{
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    return out.append(2 * backslashes, '\\') + "\"";
}

// An inheritable temporary file for one of the child's standard handles, gone when closed.
HANDLE output_file()
{
    char folder[MAX_PATH], name[MAX_PATH];
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "brx", 0, name) == 0)
        return INVALID_HANDLE_VALUE;
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string contents_of(HANDLE file)
{
    std::string contents;
    char block[4096];
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (ReadFile(file, block, sizeof block, &read, nullptr) && read != 0)
        contents.append(block, read);
    CloseHandle(file);
    return contents;
}

uintmax_t bytes_in(const std::string& directory)
{
    uintmax_t total = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
        total += entry.is_regular_file(ignored) ? entry.file_size(ignored) : 0;
    return total;
}

// The exit status, or -1 when brx had to be stopped.
int wait_for(HANDLE process, const std::string& directory, int timeout_seconds)
{
    for (int waited = 0; waited < timeout_seconds * 10; ++waited) {
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) {
            DWORD status = 0;
            return GetExitCodeProcess(process, &status) ? static_cast<int>(status) : -1;
        }
        if (bytes_in(directory) > directory_limit) break;
    }
    TerminateProcess(process, 1);
    WaitForSingleObject(process, INFINITE);
    return -1;
}

}  // namespace

// BRX_EXECUTABLE is a path of the build tree; it starts at the root of the current drive, which
// is the build tree's own (ctest starts the tests there).
brx_run_t run_program_once(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::string& directory, int timeout_seconds)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = output_file();
    startup.hStdError = output_file();
    std::string command = quoted(executable);
    for (const std::string& argument : arguments)
        command.append(" ").append(quoted(argument));
    brx_run_t run;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(executable.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                       &startup, &process)) {
        run.exit_status = wait_for(process.hProcess, directory, timeout_seconds);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdInput);
    run.standard_output = contents_of(startup.hStdOutput);
    run.standard_error = contents_of(startup.hStdError);
    return run;
}

std::string console_text(const std::string& text)
{
    std::string converted;
    for (char c : text)
        converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return converted;
}
