// brx's ring between drive and file (/buffer=) side by side with what it is held against, every
// ratio the median of the ratios of interleaved rounds in one run:
//
//   ring_posix [BRX] [--mib=N] [--rounds=N] [--dir=PATH]
//
// 1. the virtual drive, records of 65,024 bytes and of 1 MiB: cat of the medium into a file,
//    against a dump without and with /buffer=64;
// 2. an iSCSI tape (BRX_TEST_ISCSI_URL, whose tape it overwrites and which must hold --mib; left
//    out without it: BRX_TGT_SIZE=1200 tests/tgt/start-tgt.sh DIR makes one), records of
//    64 KiB and 256 KiB: a bare READ loop that writes nothing, against the same dumps; both ask
//    for the record's length (/block=);
// 3. a slow drive (5 ms a command, 300 records of 65,024 bytes) dumped to standard output into a
//    reader that takes 1 ms a record and stalls 300 ms at records 50, 150 and 250;
// 4. memory: the largest resident size of dumps of 256 MiB and of 4 GiB with /buffer=64.
// Every dump is compared with its medium; the scratch directory goes at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "bench/bench_support.h"
#include "platform/posix/transports.h"
#include "vtape/vtape.h"

namespace {

struct run_t {
    bool ok = false;
    double wall = 0;
    long resident_kib = 0;
};

// Runs program with arguments in dir, BRX_TAPE0 set to device, its standard output into out (or
// /dev/null) and its standard error into dir/err. When out is a pipe's end, reader takes what
// arrives at the other end, drain, while it runs.
run_t run(const std::vector<std::string>& arguments, const std::string& dir, const std::string& device,
          int out = -1, int drain = -1, void (*reader)(int) = nullptr)
{
    run_t result;
    const auto start = bench::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (drain >= 0)
            close(drain);
        const int errors = open((dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (errors >= 0 && null >= 0 && chdir(dir.c_str()) == 0 && dup2(null, 0) >= 0 &&
            dup2(out >= 0 ? out : null, 1) >= 0 && dup2(errors, 2) >= 0 && setenv("BRX_TAPE0", device.c_str(), 1) == 0)
            execvp(argv[0], argv.data());
        _exit(127);
    }
    if (drain >= 0) {
        close(out);
        reader(drain);
        close(drain);
    }
    int status = 0;
    rusage usage{};
    result.ok = child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.wall = bench::seconds_since(start);
    result.resident_kib = usage.ru_maxrss;
    if (!result.ok)
        std::fprintf(stderr, "%s ended with status 0x%x\n", arguments[0].c_str(), status);
    return result;
}

// A medium of count blocks, records of length bytes (with marks, a tape mark for every 64th), its
// data left as holes when sparse.
bool write_medium(const std::string& path, uint32_t length, uint64_t count, bool sparse, bool marks = true)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<uint8_t> block(8 + length);
    uint64_t offset = 0, previous = 1;
    bool ok = fd >= 0;
    for (uint64_t k = 0; ok && k < count; ++k) {
        const uint32_t n = marks && k % bench::mark_every == bench::mark_every - 1 ? 0 : length;
        bench::put_be32(block.data(), n);
        bench::put_be32(block.data() + 4, static_cast<uint32_t>(previous));
        if (!sparse)
            bench::fill_record(block.data() + 8, n, k);
        const size_t size = sparse ? 8 : 8 + n;
        ok = pwrite(fd, block.data(), size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
        previous = offset;
        offset += 8 + n;
    }
    ok = ok && ftruncate(fd, static_cast<off_t>(offset)) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

struct series_t {
    const char* name;
    std::vector<double> times;
};

void print_ratios(const char* what, const std::vector<series_t>& series)
{
    std::printf("%s\n", what);
    for (const series_t& s : series)
        std::printf("  %-28s %7.3f s   %5.2fx %s\n", s.name, bench::median(s.times),
                    bench::median_ratio(series[0].times, s.times), series[0].name);
}

// Rounds of the alternatives, each round beginning with another; a failed run ends the benchmark.
bool rounds_of(int rounds, std::vector<series_t>& series, const std::function<bool(size_t, double&)>& alternative)
{
    for (int round = 0; round <= rounds; ++round)  // round 0 warms the caches
        for (size_t k = 0; k < series.size(); ++k) {
            const size_t which = (k + static_cast<size_t>(round)) % series.size();
            double seconds = 0;
            if (!alternative(which, seconds))
                return false;
            if (round > 0)
                series[which].times.push_back(seconds);
        }
    return true;
}

std::string brx_path;

std::vector<std::string> dump_arguments(const std::string& out, const std::string& block, bool ring)
{
    std::vector<std::string> arguments = {brx_path, "\\\\.\\tape0", out};
    if (!block.empty())
        arguments.push_back(block);
    if (ring)
        arguments.push_back("/buffer=64");
    return arguments;
}

bool virtual_drive(const std::string& dir, uint32_t length, const std::string& block, uint64_t bytes, int rounds)
{
    const std::string medium = dir + "/medium.dmp", out = dir + "/out.dmp";
    if (!write_medium(medium, length, bytes / (8 + length), false))
        return false;
    std::vector<series_t> series = {{"cat of the medium", {}}, {"dump", {}}, {"dump /buffer=64", {}}};
    const bool ok = rounds_of(rounds, series, [&](size_t which, double& seconds) {
        std::filesystem::remove(out);
        const int fd = which == 0 ? open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
        const run_t r = which == 0 ? run({"cat", medium}, dir, "", fd)
                                   : run(dump_arguments("out.dmp", block, which == 2), dir, "vtape:" + medium);
        if (fd >= 0)
            close(fd);
        seconds = r.wall;
        return r.ok && bench::same_files(medium, out);
    });
    std::filesystem::remove(out);
    if (ok)
        print_ratios(("virtual drive, records of " + std::to_string(length) + " bytes").c_str(), series);
    return ok;
}

// One command to the iSCSI tape; true when it completed without sense.
bool command(posix::scsi_device_t& tape, std::vector<uint8_t> cdb, uint8_t direction, uint8_t* data, uint32_t length)
{
    uint8_t sense[32];
    posix::scsi_command_t c;
    c.cdb = cdb.data(), c.cdb_length = 6, c.direction = direction, c.data = data, c.data_length = length;
    c.timeout_seconds = 60, c.sense = sense, c.sense_capacity = sizeof sense;
    const posix::scsi_reply_t reply = tape.execute(c);
    return reply.error == NO_ERROR && reply.status == 0;
}

std::vector<uint8_t> read_cdb(uint32_t n) { return {0x08, 0, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0}; }

// Rewinds, then reads records of length bytes, each asked for exactly, until the tape answers
// otherwise (at the end of its data).
bool read_loop(posix::scsi_device_t& tape, uint32_t length, uint64_t& records)
{
    std::vector<uint8_t> buffer(length);
    if (!command(tape, {0x01, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0))
        return false;
    for (records = 0; command(tape, read_cdb(length), SCSI_IOCTL_DATA_IN, buffer.data(), length);)
        ++records;
    return true;
}

// The tape gets records of length bytes, written with WRITE(6) (the target refuses restore's set-up).
bool write_iscsi_tape(posix::scsi_device_t& tape, uint32_t length, uint64_t count, const std::string& copy)
{
    std::vector<uint8_t> data(length);
    bool ok = command(tape, {0x01, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0);
    for (uint64_t k = 0; ok && k < count; ++k) {
        bench::fill_record(data.data(), length, k);
        ok = command(tape, {0x0A, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0},
                     SCSI_IOCTL_DATA_OUT, data.data(), length);
    }
    return ok && write_medium(copy, length, count, false, false);  // what the dumps must give
}

bool iscsi_tape(const std::string& dir, const char* url, uint32_t length, uint64_t bytes, int rounds)
{
    std::unique_ptr<posix::scsi_device_t> tape;
    const std::string copy = dir + "/copy.dmp", out = dir + "/out.dmp";
    const uint64_t count = bytes / length;
    if (posix::open_iscsi_device(url, tape) != NO_ERROR || !write_iscsi_tape(*tape, length, count, copy))
        return std::fprintf(stderr, "%s: cannot write the tape\n", url), false;
    tape.reset();  // the target takes one connection at a time
    // The last shows what the file costs on this machine, where the target takes CPU time too.
    std::vector<series_t> series = {
        {"bare READ loop", {}}, {"dump", {}}, {"dump /buffer=64", {}}, {"dump /buffer=64 to /dev/null", {}}};
    const bool ok = rounds_of(rounds, series, [&](size_t which, double& seconds) {
        if (which == 0) {  // a connection of its own, as brx makes one
            uint64_t records = 0;
            const auto start = bench::steady_clock::now();
            std::unique_ptr<posix::scsi_device_t> own;
            const bool read = posix::open_iscsi_device(url, own) == NO_ERROR && read_loop(*own, length, records);
            seconds = bench::seconds_since(start);
            if (!read || records != count)
                std::fprintf(stderr, "%s: read %llu records of %llu\n", url, static_cast<unsigned long long>(records),
                             static_cast<unsigned long long>(count));
            return read && records == count;
        }
        std::filesystem::remove(out);
        const std::string block = "/block=" + std::to_string(length);
        const run_t r = run(dump_arguments(which == 3 ? "/dev/null" : "out.dmp", block, which >= 2), dir, url);
        seconds = r.wall;
        return r.ok && (which == 3 || bench::same_files(copy, out));
    });
    std::filesystem::remove(out);
    if (ok)
        print_ratios(("iSCSI tape, records of " + std::to_string(length) + " bytes").c_str(), series);
    return ok;
}

// Takes the dump from the pipe record by record: 1 ms each, 300 ms more at records 50, 150, 250.
void stalling_reader(int pipe)
{
    std::FILE* in = fdopen(dup(pipe), "rb");  // the caller closes pipe itself
    std::vector<uint8_t> data(65536);
    uint8_t header[8];
    for (uint64_t record = 1; in != nullptr && std::fread(header, 1, 8, in) == 8; ++record) {
        const uint32_t n = vtape_be32(header);
        if (n > data.size() || std::fread(data.data(), 1, n, in) != n)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(record % 100 == 50 ? 301 : 1));
    }
    if (in != nullptr)
        std::fclose(in);
}

bool slow_drive_stalling_reader(const std::string& dir, int rounds)
{
    const std::string medium = dir + "/slow.dmp";
    if (!write_medium(medium, 65024, 300, false))
        return false;
    std::vector<series_t> series = {{"dump to a stalling reader", {}}, {"the same with /buffer=64", {}}};
    const bool ok = rounds_of(rounds, series, [&](size_t which, double& seconds) {
        int ends[2];
        if (pipe(ends) != 0)
            return false;
        const run_t r = run(dump_arguments("/dev/stdout", "", which == 1), dir, "vtape:" + medium + "?delay=5000",
                            ends[1], ends[0], stalling_reader);
        seconds = r.wall;
        return r.ok;
    });
    if (ok)
        print_ratios("a slow drive (delay=5000) into a reader that stalls", series);
    return ok;
}

bool memory(const std::string& dir)
{
    std::printf("memory: the largest resident size of a dump to /dev/null\n");
    for (const uint64_t mib : {uint64_t{256}, uint64_t{4096}}) {
        const std::string medium = dir + "/sparse.dmp";
        if (!write_medium(medium, 65024, (mib << 20) / 65032, true))
            return false;
        for (const bool ring : {false, true}) {
            const run_t r = run(dump_arguments("/dev/null", "", ring), dir, "vtape:" + medium);
            if (!r.ok)
                return false;
            std::printf("  %4llu MiB dumped %-16s %7ld KiB resident, %6.2f s\n", static_cast<unsigned long long>(mib),
                        ring ? "with /buffer=64" : "without a ring", r.resident_kib, r.wall);
        }
        std::filesystem::remove(medium);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    if (!bench::parse_brx_options(argc, argv, options))
        return 2;
    brx_path = options.positional.empty() ? BRX_EXECUTABLE : options.positional;
    const int rounds = options.rounds > 0 ? options.rounds : 5;
    std::string dir = bench::scratch_parent(options) + "/brx-ring-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr)
        return std::perror(dir.c_str()), 1;
    struct remove_t {
        std::string dir;
        ~remove_t() { std::filesystem::remove_all(dir); }
    } remove{dir};
    const uint64_t bytes = options.mib << 20;
    std::printf("brx: %s; median of %d interleaved rounds; a ratio above 1 is faster than the first line\n",
                brx_path.c_str(), rounds);
    bool ok = virtual_drive(dir, 65024, "", bytes, rounds) && virtual_drive(dir, 1048576, "/block=1048576", bytes, rounds);
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    if (url != nullptr && *url != '\0')
        ok = ok && iscsi_tape(dir, url, 65536, bytes, rounds) && iscsi_tape(dir, url, 262144, bytes, rounds);
    else
        std::printf("iSCSI: left out (BRX_TEST_ISCSI_URL is not set)\n");
    ok = ok && slow_drive_stalling_reader(dir, rounds) && memory(dir);
    return ok ? 0 : 1;
}
