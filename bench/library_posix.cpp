// brxtool library with two drives against one on the same batch of tapes: the wall time of each
// and their ratio. The library is the tests' simulated one; its drives play dump files with the
// virtual drive, each command taking --delay microseconds longer, as a real drive streams at its
// own speed while the host waits.
//
//   library_posix [--mib=N] [--dir=PATH] [--delay=US] [--buffer=MiB]
//
// --buffer= goes to brxtool library (its ring, 64 MiB unless given; 0: none).
// Eight tapes of N MiB (100 unless --mib says otherwise) of mixed records and tape marks; the
// images of both runs are compared with the media byte for byte. The scratch directory is removed.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "bench/bench_support.h"
#include "brxtool/brxtool_main.h"
#include "tests/support/simulated_library.h"

namespace {

constexpr int tapes = 8;

// One run of brxtool library over every tape with the first drives of the library; its seconds,
// or a negative number when it failed. Its table goes to /dev/null.
double run_seconds(const simulated_library_t& library, int drives, const std::string& out, const std::string& buffer)
{
    std::filesystem::create_directory(out);
    std::vector<std::string> arguments = {"brxtool", "library", library.changer_name(), out};
    if (!buffer.empty())
        arguments.push_back(buffer);
    for (int drive = 0; drive < drives; ++drive) {
        std::string given = std::to_string(drive);
        given.append("=").append(library.drive_name(drive));
        arguments.insert(arguments.end(), {"--drive", given});
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    fflush(stdout);
    const int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const auto start = bench::steady_clock::now();
    const int status = brxtool_main(static_cast<int>(argv.size()), argv.data());
    const double seconds = bench::seconds_since(start);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    return status == 0 ? seconds : -1;
}

bool images_match(const std::string& media, const std::string& out)
{
    for (int tape = 1; tape <= tapes; ++tape)
        if (!bench::same_files(media + "/tape" + std::to_string(tape), out + "/T0000" + std::to_string(tape) + ".dmp"))
            return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bench::options_t options;
    options.mib = 100;
    long delay = 500;
    std::string buffer;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--delay=", 8) == 0)
            delay = std::strtol(argv[i] + 8, nullptr, 10);
        else if (std::strncmp(argv[i], "--buffer=", 9) == 0)
            buffer = argv[i];
        else
            rest.push_back(argv[i]);
    if (!bench::parse_options(static_cast<int>(rest.size()), rest.data(), options) || delay < 0)
        return 2;
    const std::filesystem::path root =
        std::filesystem::path(bench::scratch_parent(options)) / ("brx-bench-library-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "media");
    simulated_library_t library((root / "media").string(), 2, tapes, 91);
    bench::layout_t layout;
    for (int tape = 1; tape <= tapes; ++tape) {
        const std::string medium = (root / "media" / ("tape" + std::to_string(tape))).string();
        if (!bench::write_container(medium, options.mib << 20, layout))
            return 1;
        library.put_file(tape, "T0000" + std::to_string(tape), medium, "delay=" + std::to_string(delay));
    }
    std::printf("%d tapes of %" PRIu64 " MiB, %" PRIu64 " records each; each drive command %ld us longer\n", tapes,
                options.mib, layout.records + layout.marks, delay);
    const double one = run_seconds(library, 1, (root / "one").string(), buffer);
    const double two = run_seconds(library, 2, (root / "two").string(), buffer);
    const bool same = images_match((root / "media").string(), (root / "one").string()) &&
                      images_match((root / "media").string(), (root / "two").string());
    std::filesystem::remove_all(root);
    if (one < 0 || two < 0 || !same)
        return std::printf("a run failed or its images differ from the media\n"), 1;
    std::printf("one drive: %.2f s, two drives: %.2f s, ratio two/one %.3f (target at most 0.65)\n", one, two, two / one);
    return 0;
}
