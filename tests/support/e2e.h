// Running the built brx executable in a directory of a test's own, and the tapes tests build.
// The runner is the system's (run_brx_posix.cpp, run_brx_windows.cpp); the rest is shared.
#pragma once

#include <string>
#include <vector>

struct brx_run_t {
    int exit_status = -1;  // -1 when brx did not exit by itself in time
    std::string standard_output, standard_error;
};

// Runs executable with the arguments in directory; kills it after timeout_seconds. A run of brx
// is made once more with "/buffer=1" from the same files (unless it has "/buffer=" already or the
// directory holds anything but regular files): its status, output, messages and files must be
// those of the first, but for the line about the ring at the end, or the test fails. The
// directory is left as the first run left it.
brx_run_t run_program(const std::string& executable, const std::vector<std::string>& arguments,
                      const std::string& directory, int timeout_seconds = 60);
// The system's runner: one run, nothing compared.
brx_run_t run_program_once(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::string& directory, int timeout_seconds);
// The same for BRX_EXECUTABLE.
brx_run_t run_brx(const std::vector<std::string>& arguments, const std::string& directory, int timeout_seconds = 60);
// The same with variable=value in its environment (for BRX_TAPE<N>).
brx_run_t run_brx_on(const std::string& variable, const std::string& value,
                     const std::vector<std::string>& arguments, const std::string& directory);

// A fresh empty directory under the system's temporary folder, removed with its files.
struct scratch_directory_t {
    scratch_directory_t();
    ~scratch_directory_t();
    scratch_directory_t(const scratch_directory_t&) = delete;

    const std::string& path() const { return directory; }
    std::string file(const std::string& name) const { return directory + "/" + name; }
    bool exists(const std::string& name) const;
    std::string read(const std::string& name) const;  // the whole file; empty when missing
    std::string write(const std::string& name, const std::string& contents) const;  // returns file(name)
    std::vector<std::string> names() const;  // the files in it, sorted

    std::string directory;
};

// A container file holding blocks in order: each string a record, an empty string a tape mark.
std::string container_of(const std::vector<std::string>& blocks);
// A record of length bytes whose contents depend on seed, so that records differ from each other.
std::string record_of(size_t length, unsigned seed);
// The system's text for an error code, as brx prints it.
std::string system_text(unsigned long code);
// text as brx's console output and log hold it: on Windows each "\n" arrives as "\r\n".
std::string console_text(const std::string& text);
