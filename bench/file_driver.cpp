// The container-file driver walking a container file, side by side with a raw read of the same
// file: what reading record by record costs over reading 64 KiB chunks, and what spacing over
// records, which seeks past their data, saves over reading them.
//
//   file_driver [--mib=N] [--rounds=N] [--dir=PATH]
//
// The scratch container is removed on every exit.
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/platform.h"
#include "tapeio/brx_file_tape_io.h"
#include "tapeio/tape_io_handle.h"

namespace {

constexpr uint32_t buffer_size = 65536;

char scratch_name[4096];

void on_signal(int signal_number)
{
    std::remove(scratch_name);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// The container and its open handle; closed before the removal, which Windows insists on.
struct scratch_t {
    HANDLE file = INVALID_HANDLE_VALUE;
    ~scratch_t()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (scratch_name[0] != '\0')
            std::remove(scratch_name);
    }
};

bool choose_scratch(const std::string& dir, uint64_t bytes)
{
    std::error_code error;
    const std::filesystem::path parent =
        dir.empty() ? std::filesystem::temp_directory_path(error) : std::filesystem::path(dir);
    const std::filesystem::space_info space = std::filesystem::space(parent, error);
    if (error) {
        std::fprintf(stderr, "%s: %s\n", parent.string().c_str(), error.message().c_str());
        return false;
    }
    if (space.available < bytes + (64u << 20)) {
        std::fprintf(stderr, "%s has %" PRIu64 " MiB free, the benchmark needs %" PRIu64 " MiB\n",
                     parent.string().c_str(), static_cast<uint64_t>(space.available >> 20), (bytes >> 20) + 64);
        return false;
    }
    const auto stamp = static_cast<uint64_t>(bench::steady_clock::now().time_since_epoch().count());
    const std::string path = (parent / ("brx-file-driver-" + std::to_string(stamp) + ".dmp")).string();
    if (path.size() >= sizeof scratch_name)
        return false;
    std::strcpy(scratch_name, path.c_str());
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    return true;
}

// The floor: the whole file in 64 KiB ReadFile calls.
bool read_raw(HANDLE file, uint8_t* buffer, const bench::layout_t& layout)
{
    LONG high = 0;
    if (SetFilePointer(file, 0, &high, FILE_BEGIN) != 0)
        return false;
    uint64_t total = 0;
    DWORD got = 0;
    do {
        if (!ReadFile(file, buffer, buffer_size, &got, nullptr))
            return false;
        total += got;
    } while (got != 0);
    return total == layout.file_bytes;
}

// read_forward from the start to the end of the data; every record and mark must come back as
// written, and with check_data the records' bytes too.
bool read_records(tape_io_handle_t& handle, uint8_t* buffer, const bench::layout_t& layout, bool check_data)
{
    brx_file_tape_io_t driver;
    if (driver.setup(&handle, buffer, buffer_size) != 1)
        return false;
    uint64_t records = 0, marks = 0, bytes = 0, hash = bench::hash_start;
    int32_t result;
    while ((result = driver.read_forward(&handle, buffer, buffer_size)) >= 0) {
        if (result == 0) {
            ++marks;
            continue;
        }
        ++records;
        bytes += static_cast<uint32_t>(result);
        if (check_data)
            hash = bench::hash_words(hash, buffer + 8, static_cast<uint32_t>(result));
    }
    return result == -2 && handle.last_error == 0 && records == layout.records && marks == layout.marks &&
           bytes == layout.data_bytes && (!check_data || hash == layout.data_hash);
}

// space_record_forward over every block to the end of the data.
bool space_records(tape_io_handle_t& handle, uint8_t* buffer, const bench::layout_t& layout)
{
    brx_file_tape_io_t driver;
    if (driver.setup(&handle, buffer, buffer_size) != 1)
        return false;
    uint64_t blocks = 0;
    int32_t result;
    while ((result = driver.space_record_forward(&handle, buffer, buffer_size, 1)) == 0)
        ++blocks;
    return result == -2 && handle.last_error == 0 && blocks == layout.records + layout.marks &&
           handle.position == layout.file_bytes;
}

enum alternative_t { raw_read, forward_read, record_space, alternative_count };
const char* const alternative_names[alternative_count] = {"ReadFile, 64 KiB chunks", "read_forward, every block",
                                                          "space_record_forward, every block"};

bool run_alternative(alternative_t alternative, tape_io_handle_t& handle, uint8_t* buffer,
                     const bench::layout_t& layout, bool check_data)
{
    if (alternative == raw_read)
        return read_raw(handle.get_os_handle(), buffer, layout);
    if (alternative == forward_read)
        return read_records(handle, buffer, layout, check_data);
    return space_records(handle, buffer, layout);
}

// Seconds per round for each alternative.
struct samples_t {
    std::vector<double> wall[alternative_count];
    std::vector<double> cpu[alternative_count];  // std::clock: CPU time on Linux, wall time on Windows
};

// A first untimed round warms the cache and checks the records' bytes; the timed rounds start
// with a different alternative each.
bool run_rounds(tape_io_handle_t& handle, const bench::layout_t& layout, int rounds,
                samples_t& samples)
{
    std::vector<uint8_t> buffer(buffer_size);
    for (int round = -1; round < rounds; ++round) {
        for (int k = 0; k < alternative_count; ++k) {
            const auto alternative = static_cast<alternative_t>((round + 1 + k) % alternative_count);
            const std::clock_t cpu_start = std::clock();
            const auto start = bench::steady_clock::now();
            if (!run_alternative(alternative, handle, buffer.data(), layout, round < 0)) {
                std::fprintf(stderr, "%s: wrong result (last error %u)\n", alternative_names[alternative],
                             static_cast<unsigned>(handle.last_error));
                return false;
            }
            if (round < 0)
                continue;
            samples.wall[alternative].push_back(bench::seconds_since(start));
            samples.cpu[alternative].push_back(static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
        }
    }
    return true;
}

void print_ratios(const char* what, const std::vector<double> (&s)[alternative_count])
{
    std::printf("ratios of %s (median of per-round ratios):\n", what);
    std::printf("  read_forward / ReadFile               %6.2f\n", bench::median_ratio(s[forward_read], s[raw_read]));
    std::printf("  space_record_forward / read_forward   %6.2f\n",
                bench::median_ratio(s[record_space], s[forward_read]));
    std::printf("  space_record_forward / ReadFile       %6.2f\n", bench::median_ratio(s[record_space], s[raw_read]));
}

void print_results(const samples_t& samples, const bench::layout_t& layout, int rounds)
{
    std::printf("median of %d interleaved rounds; MB = 10^6 bytes of the container file\n", rounds);
    const double blocks = static_cast<double>(layout.records + layout.marks);
    for (int a = 0; a < alternative_count; ++a) {
        const double t = bench::median(samples.wall[a]);
        std::printf("  %-34s %7.3f s %8.1f MB/s %7.2f us/block   cpu %7.3f s\n", alternative_names[a], t,
                    t > 0 ? layout.file_bytes / t / 1e6 : 0.0, t / blocks * 1e6, bench::median(samples.cpu[a]));
    }
    print_ratios("wall time", samples.wall);
    print_ratios("CPU time", samples.cpu);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    if (!bench::parse_options(argc, argv, options) || !options.positional.empty()) {
        std::fprintf(stderr, "usage: %s [--mib=N] [--rounds=N] [--dir=PATH]\n", argv[0]);
        return 2;
    }
    const int rounds = options.rounds > 0 ? options.rounds : 15;
    const uint64_t bytes = options.mib << 20;
    if (!choose_scratch(options.dir, bytes))
        return 1;
    scratch_t scratch;
    bench::layout_t layout;
    if (!bench::write_container(scratch_name, bytes, layout))
        return 1;
    scratch.file = CreateFileA(scratch_name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (scratch.file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "%s: cannot open (error %u)\n", scratch_name, static_cast<unsigned>(GetLastError()));
        return 1;
    }
    tape_io_handle_t handle;
    handle.attach(scratch.file);
    std::printf("scratch: %s\n", scratch_name);
    bench::print_layout(layout);
    samples_t samples;
    if (!run_rounds(handle, layout, rounds, samples))
        return 1;
    print_results(samples, layout, rounds);
    return 0;
}
