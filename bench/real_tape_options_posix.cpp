// The options for real tapes at speed: dump and restore of 1 MiB records with /block=1048576
// against cat of the same medium, and a dump of 80-byte records with /progress on a terminal
// against the same dump without it.
//
//   real_tape_options_posix [BRX] [--mib=N] [--rounds=N] [--dir=PATH]
//
// --mib sizes the 1 MiB-record medium; the 80-byte one is an eighth of it. Outputs are compared
// with their inputs; the scratch directory is removed at the end.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

struct run_t {
    std::vector<std::string> argv;
    std::string variable, device;  // BRX_TAPE<N> and its device string
    std::string output;            // file that standard output goes to ("" for /dev/null)
    bool terminal = false;         // standard error on a pseudo-terminal
};

// Runs argv[0] in dir and returns its wall time, or -1 when it failed.
double timed(const run_t& run, const std::string& dir)
{
    const auto start = bench::steady_clock::now();
    int master = -1;
    const pid_t child = run.terminal ? forkpty(&master, nullptr, nullptr, nullptr) : fork();
    if (child == 0) {
        const int out = run.output.empty() ? open("/dev/null", O_WRONLY)
                                           : open(run.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        std::vector<char*> argv;
        for (const std::string& a : run.argv)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (out < 0 || dup2(out, 1) < 0 || dup2(null, 0) < 0 || (!run.terminal && dup2(null, 2) < 0) ||
            chdir(dir.c_str()) != 0 || (!run.variable.empty() && setenv(run.variable.c_str(), run.device.c_str(), 1)))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (master >= 0) {  // the terminal is read as a terminal would be
        char chunk[4096];
        while (read(master, chunk, sizeof chunk) > 0) {
        }
        close(master);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s ended with status 0x%x\n", run.argv[0].c_str(), status);
        return -1;
    }
    return bench::seconds_since(start);
}

// A container of records of one length, a tape mark every 64th block.
bool write_records(const std::string& path, uint64_t bytes, uint32_t length)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::vector<uint8_t> block(8 + length);
    uint64_t written = 0, previous = 1;
    bool ok = true;
    for (uint64_t index = 0; ok && written < bytes; ++index) {
        const uint32_t n = index % 64 == 63 ? 0 : length;
        bench::put_be32(block.data(), n);
        bench::put_be32(block.data() + 4, static_cast<uint32_t>(previous));
        bench::fill_record(block.data() + 8, n, index);
        ok = std::fwrite(block.data(), 1, 8 + n, file) == 8 + n;
        previous = written;
        written += 8 + n;
    }
    return std::fclose(file) == 0 && ok;
}

struct series_t {
    const char* name;
    run_t run;
    std::string check;  // output compared with the input after each run; "" for none
    std::vector<double> times;
};

bool run_series(std::vector<series_t>& all, const std::string& dir, const std::string& input, int rounds)
{
    for (int round = -1; round < rounds; ++round)
        for (size_t k = 0; k < all.size(); ++k) {
            series_t& s = all[(k + static_cast<size_t>(round + 1)) % all.size()];
            std::filesystem::remove(dir + "/blank.dmp");
            const double t = timed(s.run, dir);
            if (t < 0 || (!s.check.empty() && !bench::same_files(input, dir + "/" + s.check)))
                return false;
            if (round >= 0)
                s.times.push_back(t);
        }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    if (!bench::parse_options(argc, argv, options))
        return 2;
#ifdef BRX_EXECUTABLE
    const std::string brx = options.positional.empty() ? BRX_EXECUTABLE : options.positional;
#else
    const std::string brx = options.positional;
#endif
    const int rounds = options.rounds > 0 ? options.rounds : 5;
    const std::string parent = options.dir.empty() ? std::filesystem::temp_directory_path().string() : options.dir;
    std::string dir = parent + "/brx-bench-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr)
        return std::perror("mkdtemp"), 1;
    const std::string big = dir + "/big.dmp", small = dir + "/small.dmp";
    bool ok = write_records(big, options.mib << 20, 1048576) && write_records(small, (options.mib << 20) / 8, 80);
    const std::string tape0 = "\\\\.\\tape0", tape1 = "\\\\.\\tape1";
    std::vector<series_t> large = {
        {"cat of the medium", {{"/bin/cat", big}, "", "", dir + "/copy.dmp", false}, "copy.dmp", {}},
        {"dump /block=1048576", {{brx, tape0, "out.dmp", "/block=1048576"}, "BRX_TAPE0", "vtape:" + big, "", false}, "out.dmp", {}},
        {"restore /block=1048576", {{brx, big, tape1, "/block=1048576"}, "BRX_TAPE1", "vtape:" + dir + "/blank.dmp", "", false},
         "blank.dmp", {}},
    };
    std::vector<series_t> progress = {
        {"dump of 80-byte records", {{brx, tape0, "out.dmp"}, "BRX_TAPE0", "vtape:" + small, "", true}, "out.dmp", {}},
        {"the same with /progress", {{brx, tape0, "out.dmp", "/progress"}, "BRX_TAPE0", "vtape:" + small, "", true},
         "out.dmp", {}},
    };
    ok = ok && run_series(large, dir, big, rounds) && run_series(progress, dir, small, rounds);
    if (ok) {
        std::printf("median of %d interleaved rounds, %" PRIu64 " MiB of 1 MiB records, %" PRIu64
                    " MiB of 80-byte records\n", rounds, options.mib, options.mib / 8);
        for (const auto* all : {&large, &progress})
            for (const series_t& s : *all)
                std::printf("  %-26s %8.3f s\n", s.name, bench::median(s.times));
        std::printf("speed against cat:  dump %.2fx  restore %.2fx\n",
                    bench::median_ratio(large[0].times, large[1].times), bench::median_ratio(large[0].times, large[2].times));
        std::printf("speed with /progress against without: %.3fx\n",
                    bench::median_ratio(progress[0].times, progress[1].times));
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
