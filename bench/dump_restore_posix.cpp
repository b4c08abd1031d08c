// Dump and restore by the brx executable through the virtual drive, side by side with plain copies
// of the same container file: what the tape path costs over a copy that knows nothing of tapes.
//
//   dump_restore_posix [BRX] [--mib=N] [--rounds=N] [--dir=PATH]
//
// BRX is the brx executable (default: the one built beside this program). Every output is
// compared with the input byte for byte; the scratch directory is removed on every exit.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

constexpr int child_time_limit_seconds = 300;

// The scratch files, as fixed strings, so that a signal handler can remove them.
enum scratch_file_t { input_file, dump_file, copy_file, tape_file, brx_errors, scratch_count };
const char* const scratch_names[scratch_count] = {"in.dmp", "out.dmp", "copy.dmp", "blank.dmp", "brx.err"};
char scratch_dir[PATH_MAX];
char scratch_paths[scratch_count][PATH_MAX + 16];
// brx while it runs, so that an interrupted benchmark ends it too.
volatile pid_t running_child = 0;
const int interrupting_signals[] = {SIGINT, SIGTERM, SIGHUP};

void remove_scratch()
{
    if (scratch_dir[0] == '\0')
        return;
    for (const char* path : scratch_paths)
        unlink(path);
    rmdir(scratch_dir);
}

void on_signal(int signal_number)
{
    const pid_t child = running_child;
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    remove_scratch();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

struct scratch_guard_t {
    ~scratch_guard_t() { remove_scratch(); }
};

bool make_scratch(const std::string& parent)
{
    const std::string pattern = parent + "/brx-bench-XXXXXX";
    if (pattern.size() >= sizeof scratch_dir)
        return false;
    std::strcpy(scratch_dir, pattern.c_str());
    if (mkdtemp(scratch_dir) == nullptr) {
        scratch_dir[0] = '\0';
        std::perror(pattern.c_str());
        return false;
    }
    for (int i = 0; i < scratch_count; ++i)
        std::snprintf(scratch_paths[i], sizeof scratch_paths[i], "%s/%s", scratch_dir, scratch_names[i]);
    for (int s : interrupting_signals)
        signal(s, on_signal);
    return true;
}

std::string path_of(scratch_file_t file) { return scratch_paths[file]; }

bool room_for(const char* dir, uint64_t bytes)
{
    struct statvfs fs;
    if (statvfs(dir, &fs) != 0)
        return std::perror(dir), false;
    const uint64_t free_bytes = uint64_t{fs.f_bavail} * fs.f_frsize;
    if (free_bytes >= bytes)
        return true;
    std::fprintf(stderr, "%s has %" PRIu64 " MiB free, the benchmark needs %" PRIu64 " MiB\n", dir, free_bytes >> 20,
                 bytes >> 20);
    return false;
}

// One timed run: wall time, and the CPU time split into user and system.
struct sample_t {
    bool ok = false;
    double wall = 0;
    double user = 0;
    double system = 0;
};

// The scratch directory goes with the run, so what brx said is shown before it does.
void print_brx_errors()
{
    std::FILE* errors = fopen(scratch_paths[brx_errors], "r");
    if (errors == nullptr)
        return;
    char line[512];
    while (std::fgets(line, sizeof line, errors) != nullptr)
        std::fputs(line, stderr);
    std::fclose(errors);
}

double seconds_of(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// In the child: brx FIRST SECOND in the scratch directory with one device variable set, its
// standard error in brx.err.
[[noreturn]] void exec_brx(const std::string& brx, const char* first, const char* second, const char* variable,
                           const std::string& device)
{
    for (int s : interrupting_signals)
        signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int errors = open(scratch_paths[brx_errors], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_RDWR);
    if (errors < 0 || null < 0 || chdir(scratch_dir) != 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 ||
        dup2(errors, 2) < 0 || setenv(variable, device.c_str(), 1) != 0)
        _exit(126);
    execl(brx.c_str(), brx.c_str(), first, second, static_cast<char*>(nullptr));
    _exit(127);
}

// Forks brx with the interrupting signals held until the handler knows the child it must end.
pid_t start_brx(const std::string& brx, const char* first, const char* second, const char* variable,
                const std::string& device)
{
    sigset_t interruptions, before;
    sigemptyset(&interruptions);
    for (int s : interrupting_signals)
        sigaddset(&interruptions, s);
    sigprocmask(SIG_BLOCK, &interruptions, &before);
    const pid_t child = fork();
    if (child == 0)
        exec_brx(brx, first, second, variable, device);
    running_child = child > 0 ? child : 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (child < 0)
        std::perror("fork");
    return child;
}

// One run of brx to its end, killed after the time limit. SIGCHLD is blocked in this process,
// so the wait for it can have a limit.
sample_t run_brx(const std::string& brx, const char* first, const char* second, const char* variable,
                 const std::string& device)
{
    sample_t sample;
    const auto start = bench::steady_clock::now();
    const pid_t child = start_brx(brx, first, second, variable, device);
    if (child < 0)
        return sample;
    sigset_t child_ended;
    sigemptyset(&child_ended);
    sigaddset(&child_ended, SIGCHLD);
    const timespec limit{child_time_limit_seconds, 0};
    int waited;
    while ((waited = sigtimedwait(&child_ended, nullptr, &limit)) < 0 && errno == EINTR) {
    }
    sample.wall = bench::seconds_since(start);
    if (waited < 0) {
        std::fprintf(stderr, "brx ran longer than %d s; killed\n", child_time_limit_seconds);
        kill(child, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    const pid_t ended = wait4(child, &status, 0, &usage);
    running_child = 0;
    if (ended != child)
        return std::perror("wait4"), sample;
    sample.user = seconds_of(usage.ru_utime);
    sample.system = seconds_of(usage.ru_stime);
    sample.ok = waited >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!sample.ok) {
        std::fprintf(stderr, "brx %s %s (%s=%s) ended with status 0x%x; it said:\n", first, second, variable,
                     device.c_str(), status);
        print_brx_errors();
    }
    return sample;
}

bool write_all(int fd, const uint8_t* data, size_t length)
{
    while (length > 0) {
        const ssize_t put = write(fd, data, length);
        if (put <= 0)
            return false;
        data += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

// Reads exactly length bytes; false at the end of the file or on an error.
bool read_exactly(int fd, uint8_t* data, size_t length)
{
    while (length > 0) {
        const ssize_t got = read(fd, data, length);
        if (got <= 0)
            return false;
        data += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

// The floor: the file copied in 64 KiB reads and writes, blind to its records.
bool copy_chunks(int in, int out)
{
    std::vector<uint8_t> buffer(65536);
    ssize_t got;
    while ((got = read(in, buffer.data(), buffer.size())) > 0)
        if (!write_all(out, buffer.data(), static_cast<size_t>(got)))
            return false;
    return got == 0;
}

// The same copy record by record, as the tape path walks it: a read of the header, a read of
// the data, one write of both. Shows what per-record system calls cost without any emulation.
bool copy_records(int in, int out)
{
    std::vector<uint8_t> buffer(8 + 65536);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), 8);
        if (got == 0)
            return true;
        if (got != 8)
            return false;
        const uint32_t length = uint32_t{buffer[0]} << 24 | uint32_t{buffer[1]} << 16 | uint32_t{buffer[2]} << 8 |
                                buffer[3];
        if (length > 65536 || !read_exactly(in, buffer.data() + 8, length) ||
            !write_all(out, buffer.data(), 8 + length))
            return false;
    }
}

sample_t run_copy(bool (*copy)(int, int))
{
    sample_t sample;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = bench::steady_clock::now();
    const int in = open(scratch_paths[input_file], O_RDONLY);
    const int out = open(scratch_paths[copy_file], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    sample.ok = in >= 0 && out >= 0 && copy(in, out);
    if (in >= 0)
        close(in);
    if (out >= 0 && close(out) != 0)
        sample.ok = false;
    sample.wall = bench::seconds_since(start);
    getrusage(RUSAGE_SELF, &after);
    sample.user = seconds_of(after.ru_utime) - seconds_of(before.ru_utime);
    sample.system = seconds_of(after.ru_stime) - seconds_of(before.ru_stime);
    if (!sample.ok)
        std::perror("copy");
    return sample;
}

enum alternative_t { chunk_copy, record_copy, dump_run, restore_run, alternative_count };
const char* const alternative_names[alternative_count] = {"copy, 64 KiB read/write", "copy, record by record",
                                                          "dump    brx \\\\.\\tape0 out.dmp",
                                                          "restore brx in.dmp \\\\.\\tape1"};

// One run of an alternative, its output checked against the input and then removed.
sample_t run_alternative(alternative_t alternative, const std::string& brx)
{
    sample_t sample;
    scratch_file_t output = copy_file;
    if (alternative == chunk_copy) {
        sample = run_copy(copy_chunks);
    } else if (alternative == record_copy) {
        sample = run_copy(copy_records);
    } else if (alternative == dump_run) {
        output = dump_file;
        sample = run_brx(brx, "\\\\.\\tape0", scratch_names[dump_file], "BRX_TAPE0",
                         "vtape:" + path_of(input_file));
    } else {
        output = tape_file;
        unlink(scratch_paths[tape_file]);  // a blank tape: the drive creates its medium empty
        sample = run_brx(brx, scratch_names[input_file], "\\\\.\\tape1", "BRX_TAPE1", "vtape:" + path_of(tape_file));
    }
    if (sample.ok && !bench::same_files(path_of(input_file), path_of(output))) {
        std::fprintf(stderr, "%s: the output is not the input\n", alternative_names[alternative]);
        sample.ok = false;
    }
    unlink(scratch_paths[output]);
    return sample;
}

std::string default_brx(const char* self)
{
#ifdef BRX_EXECUTABLE
    (void)self;
    return BRX_EXECUTABLE;
#else
    const std::string me = self;
    return me.substr(0, me.find_last_of('/') + 1) + "../frontend/brx";
#endif
}

struct series_t {
    std::vector<double> wall, user, system;
};

std::vector<double> cpu_of(const series_t& series)
{
    std::vector<double> cpu;
    for (size_t i = 0; i < series.user.size() && i < series.system.size(); ++i)
        cpu.push_back(series.user[i] + series.system[i]);
    return cpu;
}

void print_ratio(const char* name, const series_t& a, const series_t& b)
{
    std::printf("  %-24s %6.2f   %6.2f\n", name, bench::median_ratio(a.wall, b.wall),
                bench::median_ratio(cpu_of(a), cpu_of(b)));
}

void print_results(const series_t (&series)[alternative_count], uint64_t bytes, int rounds)
{
    std::printf("median of %d interleaved rounds; MB = 10^6 bytes; user/sys: CPU seconds of the process\n", rounds);
    for (int a = 0; a < alternative_count; ++a) {
        const double wall = bench::median(series[a].wall);
        std::printf("  %-34s %7.3f s %8.1f MB/s   user %6.3f s  sys %6.3f s\n", alternative_names[a], wall,
                    wall > 0 ? bytes / wall / 1e6 : 0.0, bench::median(series[a].user),
                    bench::median(series[a].system));
    }
    std::printf("ratios (median of per-round ratios):  wall   CPU (user+sys)\n");
    print_ratio("dump / copy", series[dump_run], series[chunk_copy]);
    print_ratio("restore / copy", series[restore_run], series[chunk_copy]);
    print_ratio("record copy / copy", series[record_copy], series[chunk_copy]);
    print_ratio("dump / record copy", series[dump_run], series[record_copy]);
    print_ratio("restore / record copy", series[restore_run], series[record_copy]);
}

// A first untimed round warms the caches and proves every alternative copies correctly.
bool run_rounds(const std::string& brx, int rounds, series_t (&series)[alternative_count])
{
    for (int round = -1; round < rounds; ++round) {
        for (int k = 0; k < alternative_count; ++k) {
            // Each round starts with another alternative, so none always runs first.
            const auto alternative = static_cast<alternative_t>((round + 1 + k) % alternative_count);
            const sample_t sample = run_alternative(alternative, brx);
            if (!sample.ok)
                return false;
            if (round < 0)
                continue;
            series[alternative].wall.push_back(sample.wall);
            series[alternative].user.push_back(sample.user);
            series[alternative].system.push_back(sample.system);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    if (!bench::parse_brx_options(argc, argv, options))
        return 2;
    const std::string brx = options.positional.empty() ? default_brx(argv[0]) : options.positional;
    if (access(brx.c_str(), X_OK) != 0)
        return std::perror(brx.c_str()), 2;
    const int rounds = options.rounds > 0 ? options.rounds : 5;
    const std::string parent = bench::scratch_parent(options);
    const uint64_t bytes = options.mib << 20;
    // The input and one output at a time, with some slack for the file system.
    if (!room_for(parent.c_str(), 2 * bytes + (64u << 20)))
        return 1;

    sigset_t child_ended;
    sigemptyset(&child_ended);
    sigaddset(&child_ended, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child_ended, nullptr);
    if (!make_scratch(parent))
        return 1;
    scratch_guard_t guard;

    bench::layout_t layout;
    if (!bench::write_container(path_of(input_file), bytes, layout))
        return 1;
    std::printf("brx: %s\nscratch: %s\n", brx.c_str(), scratch_dir);
    bench::print_layout(layout);
    series_t series[alternative_count];
    if (!run_rounds(brx, rounds, series))
        return 1;
    print_results(series, layout.file_bytes, rounds);
    return 0;
}
