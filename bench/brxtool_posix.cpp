// brxtool converting a dump file to a SIMH image and back, and listing it, side by side with
// reading the same file with plain reads (as cat does) and copying it with plain reads and
// writes: what the tape structure costs over what reading and writing the bytes costs.
//
//   brxtool_posix [--mib=N] [--rounds=N] [--dir=PATH]
//
// The image is 1024 MiB unless --mib says otherwise; the dump file that comes back is compared
// with the first byte for byte. The scratch directory is removed at the end.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "bench/bench_support.h"
#include "brxtool/brxtool_main.h"

namespace {

// Reads the whole file in 128 KiB pieces, as cat does; the seconds it took.
double cat_seconds(const std::string& path)
{
    const auto start = bench::steady_clock::now();
    const int fd = open(path.c_str(), O_RDONLY);
    static char buffer[128 * 1024];
    while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
    }
    if (fd >= 0)
        close(fd);
    return bench::seconds_since(start);
}

// The same reads, each written to a new file: what any converter pays for its output.
double copy_seconds(const std::string& from, const std::string& to)
{
    const auto start = bench::steady_clock::now();
    const int in = open(from.c_str(), O_RDONLY), out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static char buffer[128 * 1024];
    ssize_t got = 0;
    bool good = in >= 0 && out >= 0;
    while (good && (got = read(in, buffer, sizeof buffer)) > 0)
        good = write(out, buffer, static_cast<size_t>(got)) == got;
    if (in >= 0)
        close(in);
    if (out >= 0)
        close(out);
    return good ? bench::seconds_since(start) : -1;
}

// brxtool with its standard output (a listing can be long) sent to /dev/null; -1 on failure.
double brxtool_seconds(std::vector<std::string> arguments)
{
    std::vector<char*> argv{const_cast<char*>("brxtool")};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    std::fflush(stdout);
    const int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const auto start = bench::steady_clock::now();
    const int status = brxtool_main(static_cast<int>(argv.size()), argv.data());
    const double seconds = bench::seconds_since(start);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    return status == 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    options.mib = 1024;
    if (!bench::parse_options(argc, argv, options))
        return 2;
    const int rounds = options.rounds > 0 ? options.rounds : 3;
    std::filesystem::path dir = options.dir.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(options.dir);
    dir /= "brxtool-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.dmp").string(), tap = (dir / "out.tap").string(),
                      back = (dir / "back.dmp").string(), copy = (dir / "copy.dmp").string();
    bench::layout_t layout;
    bool good = bench::write_container(in, options.mib << 20, layout);
    if (good)
        bench::print_layout(layout);
    std::vector<double> cat, plain_copy, to_tap, to_brx, list;
    for (int round = 0; good && round < rounds; ++round) {
        cat.push_back(cat_seconds(in));
        plain_copy.push_back(copy_seconds(in, copy));
        to_tap.push_back(brxtool_seconds({"convert", in, tap}));
        to_brx.push_back(brxtool_seconds({"convert", tap, back}));
        list.push_back(brxtool_seconds({"list", back}));
        good = plain_copy.back() > 0 && to_tap.back() > 0 && to_brx.back() > 0 && list.back() > 0 && bench::same_files(in, back);
    }
    if (good) {
        const double mb = layout.file_bytes / 1e6;
        const struct { const char* what; const std::vector<double>& times; } rows[] = {
            {"cat (plain reads)", cat}, {"copy (reads, writes)", plain_copy}, {"convert brx -> tap", to_tap}, {"convert tap -> brx", to_brx}, {"list", list}};
        std::printf("%-20s %10s %10s %14s\n", "", "seconds", "MB/s", "speed vs cat");
        for (const auto& row : rows)
            std::printf("%-20s %10.3f %10.1f %14.2f\n", row.what, bench::median(row.times),
                        mb / bench::median(row.times), bench::median_ratio(cat, row.times));
    } else {
        std::fprintf(stderr, "brxtool_posix: a run failed or the round trip changed the dump file\n");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return good ? 0 : 1;
}
