#include "tests/support/e2e.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "platform/system_error_text.h"
#include "tests/support/environment.h"

scratch_directory_t::scratch_directory_t()
{
    // create_directory fails on a name that exists, so each directory is a test's own.
    std::mt19937_64 random(std::random_device{}() ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code ignored;
    for (int attempt = 0; attempt < 100 && directory.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / ("brx-test-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(candidate, ignored)) directory = candidate.string();
    }
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

std::string scratch_directory_t::write(const std::string& name, const std::string& contents) const
{
    std::ofstream(file(name), std::ios::binary) << contents;
    return file(name);
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
        file.append(header, sizeof header).append(data);
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

namespace {

// A directory's regular files and their contents; false when it holds anything else.
using files_t = std::map<std::string, std::string>;

bool files_of(const std::string& directory, files_t& files)
{
    files.clear();
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        if (!entry.is_regular_file(ignored) || entry.is_symlink(ignored))
            return false;
        std::ostringstream contents;
        contents << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        files[entry.path().filename().string()] = contents.str();
    }
    return true;
}

void put_back(const std::string& directory, const files_t& wanted, const files_t& now)
{
    for (const auto& [name, contents] : now)
        if (!wanted.count(name))
            std::filesystem::remove(directory + "/" + name);
    for (const auto& [name, contents] : wanted)
        if (!now.count(name) || now.at(name) != contents)
            std::ofstream(directory + "/" + name, std::ios::binary) << contents;
}

// What only a run through the ring writes, taken out: its last line on the console and in the log,
// and in a manifest (NAME.json) the ring and the run's own command line and times.
std::string without_feed_line(const std::string& text)
{
    static const std::regex feed_line("Buffer of 1 MiB: [0-9]+ records and [0-9]+ tape marks, [0-9]+ bytes in "
                                      "[0-9.]+ s \\([0-9.]+ MB/s\\); the drive waited [0-9]+ times \\([0-9.]+ s\\), "
                                      "the file [0-9]+ times \\([0-9.]+ s\\)\r?\n$");
    return std::regex_replace(text, feed_line, "");
}

void set_ring_aside(files_t& files, const std::string& log)
{
    static const std::regex feed(" \"buffer\": \\{[^}]*\\},\n"), option(", \"/buffer=1\""),
        times("\"(started|ended)\": \"[^\"]*\"");
    for (auto& [name, text] : files)
        if (name == log)
            text = without_feed_line(text);
        else if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0)
            text = std::regex_replace(std::regex_replace(std::regex_replace(text, feed, ""), option, ""), times, "\"$1\": \"\"");
}

// The log's name (lower-cased as brx takes it) when the run keeps one.
std::string log_of(const std::vector<std::string>& arguments)
{
    for (std::string argument : arguments) {
        std::transform(argument.begin(), argument.end(), argument.begin(), [](char c) { return char(std::tolower(c)); });
        if (argument.rfind("/log=", 0) == 0)
            return argument.substr(5);
    }
    return "";
}

void compare_with_ring(std::vector<std::string> arguments, const std::string& directory, const brx_run_t& plain,
                       const files_t& before)
{
    files_t after, again;
    files_of(directory, after);
    put_back(directory, before, after);
    arguments.push_back("/buffer=1");
    const brx_run_t ring = run_program_once(BRX_EXECUTABLE, arguments, directory, 60);
    files_of(directory, again);
    files_t compared = again, expected = after;
    set_ring_aside(compared, log_of(arguments));
    set_ring_aside(expected, log_of(arguments));
    EXPECT_EQ(ring.exit_status, plain.exit_status) << "with /buffer=1: brx";
    EXPECT_EQ(ring.standard_output, plain.standard_output) << "with /buffer=1: brx";
    EXPECT_EQ(without_feed_line(ring.standard_error), plain.standard_error) << "with /buffer=1: brx";
    EXPECT_TRUE(compared == expected) << "with /buffer=1: brx: the files differ";
    put_back(directory, after, again);
}

}  // namespace

brx_run_t run_program(const std::string& executable, const std::vector<std::string>& arguments,
                      const std::string& directory, int timeout_seconds)
{
    files_t before;
    const bool twin = executable == BRX_EXECUTABLE && files_of(directory, before) &&
                      std::none_of(arguments.begin(), arguments.end(),
                                   [](const std::string& a) { return a.rfind("/buffer=", 0) == 0; });
    const brx_run_t plain = run_program_once(executable, arguments, directory, timeout_seconds);
    if (twin)
        compare_with_ring(arguments, directory, plain, before);
    return plain;
}

brx_run_t run_brx(const std::vector<std::string>& arguments, const std::string& directory, int timeout_seconds)
{
    return run_program(BRX_EXECUTABLE, arguments, directory, timeout_seconds);
}

brx_run_t run_brx_on(const std::string& variable, const std::string& value,
                     const std::vector<std::string>& arguments, const std::string& directory)
{
    set_environment(variable, value);
    const brx_run_t run = run_brx(arguments, directory);
    set_environment(variable, "");
    return run;
}
