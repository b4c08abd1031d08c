#include "tests/fault/fault_support_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "vtape/vtape.h"

pid_t start_brx(const std::vector<std::string>& arguments, const std::string& directory,
                const std::vector<std::pair<std::string, std::string>>& variables, const std::string& error_name,
                uint64_t file_limit)
{
    const int error = open((directory + "/" + error_name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t child = spawn({BRX_EXECUTABLE, arguments, directory, variables, -1, error, file_limit});
    close(error);
    return child;
}

bool wait_for_size(const std::string& path, uint64_t size)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (struct stat info {}; std::chrono::steady_clock::now() < end;) {
        if (stat(path.c_str(), &info) == 0 && uint64_t(info.st_size) >= size) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

std::vector<uint64_t> write_sparse_medium(const std::string& path, uint32_t count)
{
    constexpr uint32_t lengths[] = {65024, 1, 40000, 512, 65000};
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    uint64_t at = 0, previous = 1;
    std::vector<uint64_t> offsets;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t length = i % 100 == 99 ? 0 : lengths[i % 5];
        uint8_t block[16] = {};
        vtape_put_be32(block, length), vtape_put_be32(block + 4, uint32_t(previous));
        vtape_put_be32(block + 8, i), vtape_put_be32(block + 12, ~i);
        if (pwrite(fd, block, 8 + std::min<uint32_t>(length, 8), off_t(at)) < 0) break;
        offsets.push_back(previous = at);
        at += 8 + length;
    }
    if (ftruncate(fd, off_t(at)) != 0) offsets.clear();
    close(fd);
    return offsets;
}

int64_t whole_blocks_of_prefix(const std::string& got, const std::string& source)
{
    std::ifstream in(source, std::ios::binary);
    std::string head(got.size(), '\0');
    if (!in.read(head.data(), std::streamsize(head.size())) || head != got) return -1;
    int64_t blocks = 0;
    uint64_t at = 0, previous = 1;
    while (at + 8 <= got.size()) {
        const uint8_t* header = reinterpret_cast<const uint8_t*>(got.data() + at);
        if (vtape_be32(header + 4) != uint32_t(previous)) return -1;
        previous = at;
        at += 8 + uint64_t(vtape_be32(header));
        if (at > got.size()) return blocks;  // the one cut block
        ++blocks;
    }
    return blocks;  // ends on a block's end, or within the last header
}

bool same_files(const std::string& a, const std::string& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (first && second) {
        first.read(x.data(), std::streamsize(x.size()));
        second.read(y.data(), std::streamsize(y.size()));
        if (first.gcount() != second.gcount() || std::memcmp(x.data(), y.data(), size_t(first.gcount())) != 0)
            return false;
    }
    return first.eof() && second.eof();
}
