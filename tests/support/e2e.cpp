#include "tests/support/e2e.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "frontend/system_error_text.h"

scratch_directory_t::scratch_directory_t()
{
    // create_directory fails on a name that exists, so each directory is a test's own.
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    std::error_code ignored;
    for (int attempt = 0; attempt < 100 && directory.empty(); ++attempt) {
        const std::filesystem::path candidate = temporary / ("brx-test-" + std::to_string(random() % 1000000000));
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
