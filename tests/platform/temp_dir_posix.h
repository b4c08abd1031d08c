// A fresh directory per test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct temp_dir_t {
    std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "brx-platform-XXXXXX").string();
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }();
    ~temp_dir_t() { std::error_code ignored; if (!path.empty()) std::filesystem::remove_all(path, ignored); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const
    {
        return std::ofstream(file(name), std::ios::binary) << content, file(name);
    }
};

inline std::string read_whole(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
