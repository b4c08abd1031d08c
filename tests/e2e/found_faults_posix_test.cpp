// Faults a hostile run of the rescue options and brxtool found, one row each, by their weight; and
// what a failed run may remove, for each kind of thing a name can stand for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "tests/brxtool/image_writers.h"
#include "tests/support/spawn_posix.h"

using namespace brxtool_test;

namespace {

const std::string tape0 = "\\\\.\\tape0";
const std::string brx = BRX_EXECUTABLE, tool = BRXTOOL_EXECUTABLE;

// number 0: none; else sent once file holds text, or after_ms without a file
struct signal_t { int number = 0; int after_ms = 0; std::string file, text; };

struct row_t {
    std::string name;
    std::vector<std::pair<std::string, std::string>> files;  // written first; tape.dmp is \\.\tape0's medium
    std::string tape_options;
    std::string program;
    std::vector<std::string> arguments;
    int status;                        // -1: ended by a signal
    std::optional<std::string> error;  // standard error exactly, when given
    std::string output;                // what standard output holds
    std::vector<std::pair<std::string, std::optional<std::string>>> after;  // contents, or nullopt: gone
    signal_t signal;
};

// run_program with a signal on the way.
brx_run_t run_signalled(const row_t& row, const scratch_directory_t& directory)
{
    FILE* output = tmpfile();
    FILE* error = tmpfile();
    const pid_t child = spawn({row.program, row.arguments, directory.path(), {}, fileno(output), fileno(error)});
    const auto start = std::chrono::steady_clock::now();
    for (bool sent = false; !sent && std::chrono::steady_clock::now() - start < std::chrono::seconds(60);) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (row.signal.file.empty() ? elapsed >= std::chrono::milliseconds(row.signal.after_ms)
                                    : directory.read(row.signal.file).find(row.signal.text) != std::string::npos)
            sent = kill(child, row.signal.number) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return {finish(child), contents_of(output), contents_of(error)};
}

void check_rows(const std::vector<row_t>& rows)
{
    for (const row_t& row : rows) {
        SCOPED_TRACE(row.name);
        scratch_directory_t directory;
        for (const auto& [name, contents] : row.files)
            directory.write(name, contents);
        const std::string options = row.tape_options.empty() ? "" : "?" + row.tape_options;
        setenv("BRX_TAPE0", ("vtape:" + directory.file("tape.dmp") + options).c_str(), 1);
        const brx_run_t run = row.signal.number != 0 ? run_signalled(row, directory)
                                                     : run_program(row.program, row.arguments, directory.path());
        unsetenv("BRX_TAPE0");
        EXPECT_EQ(run.exit_status, row.status);
        EXPECT_EQ(run.standard_error, row.error.value_or(run.standard_error));
        EXPECT_NE(run.standard_output.find(row.output), std::string::npos) << run.standard_output;
        for (const auto& [name, contents] : row.after) {
            EXPECT_EQ(directory.exists(name), contents.has_value()) << name;
            EXPECT_TRUE(!contents || directory.read(name) == *contents) << name;
        }
    }
}

const std::string r100 = record_of(100, 1), r200 = record_of(200, 2), r70000 = record_of(70000, 3);
const std::string list_of_one = "brx skipped records; dump file size 00000000000000000216 bytes\n"
                                "block 1 file 0 record 2 offset 108 sense 03/11/00\n";
const std::string too_long = "Failed to read tape block: the record is 70000 bytes long, more than ";

}  // namespace

TEST(found_faults, data_lost_or_destroyed_then_wrong_results_then_smaller_faults)
{
    const std::string bad_second = container_of({r100, r200, r100});
    const std::string dump = brx_image({rec(10, 1), mark(), rec(20, 2)});
    const std::string list = "brx skipped records; dump file size 54 bytes\nblock 3 file 1 record 2 offset 54 sense 03/11/00\n";
    std::vector<std::string> then_bad = {record_of(1000, 4)};
    std::string bad_run = "delay=20000";
    for (int k = 1; k < 40; ++k) {
        then_bad.push_back(record_of(10, static_cast<unsigned>(k)));
        bad_run += "&bad=" + std::to_string(k);
    }
    std::vector<std::string> records;
    for (size_t k = 0; k < 150; ++k)
        records.push_back(record_of(10 + k, static_cast<unsigned>(k)));
    std::vector<std::string> twice = records;
    twice.insert(twice.end(), records.begin(), records.end());
    const std::string zero_record = le(2, 2) + le(0, 2) + le(0xA0, 2) + "AB" + le(0, 2) + le(2, 2) + le(0xA0, 2) +
                                    le(0, 2) + le(0, 2) + le(0x40, 2);
    const std::string drive_said = "brxtool: " + tape0 + ": cannot read the block after file 0, record 0: the drive answered ";
    const std::string one_record = container_of({r100, ""});
    const std::string longest = record_of(16777216, 5);
    const std::string gaps = le(0xFFFFFFFE, 4) + le(0xFFFF, 2) + le(0xFFFFFFFE, 4) + le(0, 4);
    check_rows({  // data lost or destroyed
        {"a record longer than the buffer is neither read over nor skipped", {{"tape.dmp", container_of({r100, r70000, r100})}},
         "", brx, {tape0, "d.dmp", "/skip", "/reads=2"}, 1, too_long + "65024 (/block= reads longer ones)\n", "",
         {{"d.dmp", {}}, {"d.dmp.bad", {}}}, {}},
        {"a list that is the dump file", {{"tape.dmp", bad_second}}, "bad=1", brx, {tape0, "d.dmp", "/skip", "/bad=./d.dmp"},
         1, "The list of skipped records cannot be the dump file: ./d.dmp\n", "", {{"d.dmp", {}}}, {}},
        {"a list that is the log", {{"tape.dmp", bad_second}}, "bad=1", brx,
         {tape0, "d.dmp", "/skip", "/log=x.log", "/bad=x.log"}, 1, "The list of skipped records cannot be the log file: x.log\n",
         "", {{"x.log", "The list of skipped records cannot be the log file: x.log\n"}, {"d.dmp", {}}}, {}},
        {"a list that is the medium", {{"tape.dmp", bad_second}}, "bad=1", brx, {tape0, "d.dmp", "/skip", "/bad=tape.dmp"}, 1,
         "The list of skipped records cannot be the tape's medium: tape.dmp\n", "", {{"tape.dmp", bad_second}}, {}},
        {"convert's OUT that is the list it reads", {{"in.dmp", dump}, {"in.dmp.bad", list}}, "", tool,
         {"convert", "in.dmp", "./in.dmp.bad", "--to", "tap"}, 2,
         "brxtool: convert: OUT must not be in.dmp.bad, the list of skipped records read with IN\n", "", {{"in.dmp.bad", list}}, {}},
        {"killed during a run of bad records", {{"tape.dmp", container_of(then_bad)}}, bad_run, brx, {tape0, "d.dmp", "/skip"},
         -1, {}, "", {{"d.dmp", container_of({then_bad[0]})}}, {SIGKILL, 0, "d.dmp.bad", "block 1 "}},
        // wrong results
        {"a drive not ready is no empty tape", {{"tape.dmp", one_record}}, "notready", tool, {"convert", tape0, "n.tap"}, 2,
         drive_said + "02/3A/00 before the end of its data\nbrxtool: convert: stopped after file 0, record 0 of " + tape0 +
             "; n.tap removed\n", "", {{"n.tap", {}}}, {}},
        {"a unit attention is no empty tape", {{"tape.dmp", one_record}, {"e.tap", le(0xFFFFFFFF, 4)}}, "attention=5", tool,
         {"verify", "e.tap", tape0}, 2, drive_said + "06/28/00 before the end of its data\n", "", {}, {}},
        {"a repair past 100 faults keeps everything", {{"two.dmp", container_of(records) + container_of(records)}}, "",
         tool, {"check", "two.dmp", "--repair", "r.dmp"}, 1, "", "repair: r.dmp holds 300 records (25350 bytes)",
         {{"r.dmp", container_of(twice)}}, {}},
        {"an AWS record of no bytes is damage", {{"z.aws", zero_record}}, "", tool, {"check", "z.aws", "--repair", "r.aws"},
         1, "", "z.aws: offset 8: a record of 0 bytes without the tape-mark flag\n",
         {{"r.aws", aws_image({text("AB"), mark()})}}, {}},
        {"SIGUSR1 during the opening rewind", {{"tape.dmp", one_record}}, "delay=300000", brx, {tape0, "d.dmp", "/progress"}, 0,
         {}, "", {{"d.dmp", one_record}}, {SIGUSR1, 150, "", ""}},
        // smaller faults
        {"--too-long=cut acts on records beyond 16,777,215 bytes", {{"big.dmp", container_of({longest})}}, "", tool,
         {"convert", "big.dmp", "big.tap", "--too-long=cut"}, 0, {}, "",
         {{"big.tap", simh_image({text(longest.substr(0, 16777215))}, true)}}, {}},
        {"a record beyond what tap holds stops convert", {{"big.dmp", container_of({longest})}}, "", tool,
         {"convert", "big.dmp", "big.tap"}, 2, "brxtool: big.dmp: file 0, record 1 (16777216 bytes) is longer than tap holds "
         "(16777215 bytes; --too-long=drop or --too-long=cut say what to do)\nbrxtool: convert: stopped after file 0, record 1 "
         "of big.dmp; big.tap removed\n", "", {{"big.tap", {}}}, {}},
        {"--too-long=drop leaves it out", {{"big.dmp", container_of({longest})}}, "", tool,
         {"convert", "big.dmp", "big.tap", "--too-long=drop"}, 0, "", "dropped the long record file 0, record 1 (16777216 bytes)",
         {{"big.tap", le(0xFFFFFFFF, 4)}}, {}},
        {"a repair leaves out a record too long to keep", {{"big.dmp", container_of({longest})}}, "", tool,
         {"check", "big.dmp", "--repair", "r.dmp"}, 0, "", "repair: could not keep bytes 0-16777223 (a record too long to keep)\n",
         {{"r.dmp", ""}}, {}},
        {"half gaps read backwards", {{"g.tap", gaps}}, "", tool, {"check", "g.tap"}, 0, "",
         "g.tap (tap): 0 faults; forward 1 blocks to offset 14 of 14, backward 1 blocks to the start\n", {}, {}},
        {"a name that is no UTF-8 in JSON", {{"caf\xe9.tap", le(0xFFFFFFFF, 4)}}, "", tool, {"list", "caf\xe9.tap", "--json"},
         0, "", "{\"image\": \"caf\\u00e9.tap\"", {}, {}},
        {"/block= limits records below the buffer", {{"tape.dmp", container_of({record_of(2000, 6)})}}, "", brx,
         {tape0, "d.dmp", "/block=1000"}, 1, "Failed to read tape block: the record is 2000 bytes long, more than /block=1000\n",
         "", {{"d.dmp", {}}}, {}},
        {"a record beyond the buffer names its length", {{"tape.dmp", container_of({r70000})}}, "", brx,
         {tape0, "d.dmp", "/block=1000"}, 1, too_long + "/block=1000\n", "", {{"d.dmp", {}}}, {}},
        {"a failed dump takes its list along", {{"tape.dmp", container_of({r100, r70000})}}, "", brx,
         {tape0, "d.dmp", "/skip", "/block=65536"}, 1, too_long + "/block=65536\n", "", {{"d.dmp", {}}, {"d.dmp.bad", {}}}, {}},
    });
}

// convert failing, a /skip dump listing one record, and dumps failing without skipping, with OUT (the
// list, then the dump file) each kind of thing: only regular files go, and a list is readable wherever it went.
TEST(removal_rule, only_regular_files_go_and_lists_finish_wherever_they_are)
{
    namespace fs = std::filesystem;
    const struct { const char* kind; std::function<void(const std::string&)> make; bool regular; } kinds[] = {
        {"created", [](const std::string&) {}, true},
        {"existing", [](const std::string& path) { std::ofstream(path) << "old"; }, true},
        {"symbolic link", [](const std::string& path) { fs::create_symlink("target", path); }, false},
        {"FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0600); }, false},
        {"device", [](const std::string& path) { mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)); }, false},
        {"directory", [](const std::string& path) { fs::create_directory(path); }, false},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        if (std::string(k.kind) == "device" && geteuid() != 0)
            continue;  // only root makes device nodes
        scratch_directory_t directory;
        const std::string out = directory.file("out");
        k.make(out);
        const fs::file_type type = fs::symlink_status(out).type();
        const int reader = type == fs::file_type::fifo ? open(out.c_str(), O_RDONLY | O_NONBLOCK) : -1;  // its other end
        directory.write("in.tap", simh_image({rec(5, 1), bad(3)}, true));
        directory.write("tape.dmp", container_of({r100, r200, r100}));
        setenv("BRX_TAPE0", ("vtape:" + directory.file("tape.dmp") + "?bad=1").c_str(), 1);
        const brx_run_t failed = run_program(tool, {"convert", "in.tap", "out", "--to", "aws"}, directory.path());
        EXPECT_EQ(fs::symlink_status(out).type(), k.regular ? fs::file_type::not_found : type);
        std::string drained(4096, '\0');  // what convert wrote into the FIFO before it stopped
        if (reader >= 0 && read(reader, drained.data(), drained.size()) < 0)
            drained.clear();
        const brx_run_t listed = run_program(brx, {tape0, "d.dmp", "/skip", "/bad=out"}, directory.path());
        std::string list(4096, '\0');
        if (type == fs::file_type::fifo)
            list.resize(static_cast<size_t>(std::max<ssize_t>(0, read(reader, list.data(), list.size()))));
        else
            list = directory.read(type == fs::file_type::symlink ? "target" : "out");
        directory.write("tape.dmp", container_of({r100, r70000}));
        setenv("BRX_TAPE0", ("vtape:" + directory.file("tape.dmp")).c_str(), 1);
        const brx_run_t dropped = run_program(brx, {tape0, "d.dmp", "/skip", "/block=65536", "/bad=out"}, directory.path());
        const brx_run_t dumped = run_program(brx, {tape0, "out", "/block=65536"}, directory.path());  // OUT the dump file
        unsetenv("BRX_TAPE0");
        if (reader >= 0)
            close(reader);
        EXPECT_EQ(failed.exit_status, 2);
        EXPECT_EQ(listed.exit_status, type == fs::file_type::directory ? 1 : 2);
        const bool readable = type != fs::file_type::directory && type != fs::file_type::character;
        EXPECT_EQ(readable ? list : list_of_one, list_of_one);
        EXPECT_EQ(dropped.exit_status + dumped.exit_status, 2);
        EXPECT_EQ(fs::symlink_status(out).type(), k.regular ? fs::file_type::not_found : type);
        EXPECT_EQ(directory.exists("target"), type == fs::file_type::symlink);  // a link's target stays
    }
}
