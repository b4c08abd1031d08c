// brxtool on SIMH images as real tapes give them, side by side with cat and cp of the same file:
// what the tape structure costs over reading and writing the bytes. Two images: many small records
// (80 to 2,720 bytes, in runs of equal sizes, as a RSTS tape holds them) and records of 1 MiB.
// Every program runs as a process of its own; brxtool's largest resident size is shown, which
// stays flat (its buffers and the longest record) however large the image.
//
//   brxtool_posix [--mib=N] [--rounds=N] [--dir=PATH]
//
// Each image is about N MiB (default 64); the converted image is converted back and compared with
// the first byte for byte. The scratch directory is removed at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "bench/bench_support.h"

namespace {

// Runs a program with standard output to /dev/null; its seconds (-1 on failure) and largest
// resident size in KiB.
double run_seconds(const std::vector<std::string>& arguments, long* max_kib = nullptr)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = bench::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    if (max_kib != nullptr)
        *max_kib = std::max(*max_kib, usage.ru_maxrss);
    return bench::seconds_since(start);
}

void put_le32(std::FILE* file, uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    std::fwrite(bytes, 1, 4, file);
}

// A SIMH image of about target bytes: records of the sizes given, each size for a run of 1 to 40
// records, a tape mark after every 500 records; a pad byte after odd lengths.
bool write_simh(const std::string& path, uint64_t target, const std::vector<uint32_t>& sizes, uint64_t& records)
{
    std::FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::vector<uint8_t> data(*std::max_element(sizes.begin(), sizes.end()) + 8);
    uint64_t state = 0x2545F4914F6CDD1Dull, written = 0;
    uint32_t length = 0, run = 0;
    for (records = 0; written < target; ++records) {
        if (run-- == 0) {
            length = sizes[bench::next_random(state) % sizes.size()];
            run = static_cast<uint32_t>(bench::next_random(state) % 40);
        }
        bench::fill_record(data.data(), length + 8 - length % 8, records);
        data[length] = 0;  // the pad byte
        put_le32(file, length);
        std::fwrite(data.data(), 1, length + length % 2, file);
        put_le32(file, length);
        written += 8 + length + length % 2;
        if (records % 500 == 499)
            put_le32(file, 0);
    }
    put_le32(file, 0xFFFFFFFF);
    return std::fclose(file) == 0;
}

struct row_t {
    const char* image = "";
    std::string path;
    uint64_t records = 0;
    std::vector<double> cat, cp, list, convert;
    long max_kib = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    options.mib = 64;
    if (!bench::parse_options(argc, argv, options))
        return 2;
    const int rounds = options.rounds > 0 ? options.rounds : 5;
    std::filesystem::path dir = options.dir.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(options.dir);
    dir /= "brxtool-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string tool = BRXTOOL_EXECUTABLE, copy = (dir / "copy").string(), out = (dir / "out.aws").string(),
                      back = (dir / "back.tap").string();
    row_t rows[2];
    rows[0].image = "small records", rows[0].path = (dir / "small.tap").string();
    rows[1].image = "1 MiB records", rows[1].path = (dir / "large.tap").string();
    const std::vector<uint32_t> small = {80, 80, 512, 1024, 2048, 2720, 81, 333}, large = {1 << 20};
    bool good = write_simh(rows[0].path, options.mib << 20, small, rows[0].records) &&
                write_simh(rows[1].path, options.mib << 20, large, rows[1].records);
    for (int round = 0; good && round < rounds; ++round) {
        for (row_t& row : rows) {
            // Both write new files: replacing one costs the file system more than writing it.
            std::filesystem::remove(copy), std::filesystem::remove(out);
            row.cat.push_back(run_seconds({"/bin/cat", row.path}));
            row.cp.push_back(run_seconds({"/bin/cp", row.path, copy}));
            row.list.push_back(run_seconds({tool, "list", row.path}, &row.max_kib));
            row.convert.push_back(run_seconds({tool, "convert", row.path, out}, &row.max_kib));
            good = good && row.cat.back() > 0 && row.cp.back() > 0 && row.list.back() > 0 && row.convert.back() > 0 &&
                   run_seconds({tool, "convert", out, back}) > 0 && bench::same_files(row.path, back);
        }
    }
    if (good) {
        std::printf("%-14s %9s %10s %8s %8s %8s %9s %14s %14s %9s\n", "image", "records", "MB", "cat s", "cp s",
                    "list s", "convert s", "list vs cat", "convert vs cp", "max MiB");
        for (const row_t& row : rows)
            std::printf("%-14s %9" PRIu64 " %10.1f %8.3f %8.3f %8.3f %9.3f %14.2f %14.2f %9.1f\n", row.image,
                        row.records, std::filesystem::file_size(row.path) / 1e6, bench::median(row.cat),
                        bench::median(row.cp), bench::median(row.list), bench::median(row.convert),
                        bench::median_ratio(row.cat, row.list), bench::median_ratio(row.cp, row.convert),
                        row.max_kib / 1024.0);
        std::printf("(speed ratios: the other program's time over brxtool's, medians of %d interleaved rounds)\n", rounds);
    } else {
        std::fprintf(stderr, "brxtool_posix: a run failed or the round trip changed the image\n");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return good ? 0 : 1;
}
