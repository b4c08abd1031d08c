// brxtool changer and library against tgt's tape library (tests/tgt/start-library.sh prints the
// URL for BRX_TEST_LIBRARY_URL; skipped without it): the layout element by element, a whole run
// compared with brx's own dumps, and runs killed at several points then resumed. The suite name
// carries "Tgt": tests sharing the one library run one at a time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "platform/device_paths.h"
#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tests/library/in_process.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/support/spawn_posix.h"
#include "tests/support/tgt_posix.h"

using namespace library_test;

namespace {

const char* library_url() { return tgt_url("BRX_TEST_LIBRARY_URL"); }

std::vector<std::string> blocks_of(unsigned seed, size_t records, size_t length)
{
    std::vector<std::string> blocks;
    for (size_t i = 0; i < records; ++i)
        blocks.push_back(record_of(length, seed + static_cast<unsigned>(i)));
    blocks.push_back("");
    return blocks;
}

// What the tests write: long records, several files, an empty tape, and tapes long enough to be
// killed in the middle of.
const std::map<std::string, std::vector<std::string>> contents = {
    {"LIB001", {record_of(80, 1), record_of(1 << 20, 2), "", record_of(1, 3), record_of(200000, 4), "", ""}},
    {"LIB002", {record_of(65536, 5), "", record_of(7, 6), record_of(32768, 7), ""}},
    {"LIB003", {}},
    {"LIB004", blocks_of(100, 96, 65536)},
    {"LIB005", blocks_of(300, 96, 65536)},
    {"LIB006", blocks_of(500, 96, 65536)},
};
const std::map<std::string, std::string> slots = {{"LIB001", "slot:1"}, {"LIB002", "slot:2"}, {"LIB003", "slot:3"},
                                                  {"LIB004", "slot:5"}, {"LIB005", "slot:7"}, {"LIB006", "slot:9"}};

class library_Tgt : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (library_url() == nullptr)
            return;
        posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
        for (const auto& [barcode, blocks] : contents) {
            ASSERT_EQ(brxtool_here({"changer", "load", changer(), slots.at(barcode), "drive:0"}).exit_status, 0);
            ASSERT_TRUE(write_tape(drive(0), blocks)) << barcode;
            ASSERT_EQ(brxtool_here({"changer", "unload", changer(), "drive:0"}).exit_status, 0);
        }
    }
    void SetUp() override
    {
        if (library_url() == nullptr)
            GTEST_SKIP() << "BRX_TEST_LIBRARY_URL is not set";
        std::filesystem::create_directory(folder.file("out"));
    }

    static std::string changer() { return std::string(library_url()) + "/3"; }
    static std::string drive(int number) { return std::string(library_url()) + "/" + std::to_string(number + 1); }
    std::vector<std::string> command(const char* more = "--verify") const
    {
        return {"library", changer(), folder.file("out"), "--devices", drive(1) + "," + drive(0), more};
    }
    void expect_images() const
    {
        for (const auto& [barcode, blocks] : contents)
            EXPECT_TRUE(folder.read("out/" + barcode + ".dmp") == container_of(blocks)) << barcode;
    }

    scratch_directory_t folder;
};

// The layout start-library.sh makes, every tape at home.
std::string expected_layout()
{
    const struct { const char *name; int address; const char *barcode, *identifier; } elements[] = {
        {"drive:0", 1, nullptr, "IET     VIRTUAL-TAPE    beaf11"},
        {"drive:1", 2, nullptr, "IET     VIRTUAL-TAPE    be"},
        {"slot:1", 4, "LIB001", nullptr},  {"slot:2", 5, "LIB002", nullptr},  {"slot:3", 6, "LIB003", nullptr},
        {"slot:4", 7, "CLN001", nullptr},  {"slot:5", 8, "LIB004", nullptr},  {"slot:6", 9, nullptr, nullptr},
        {"slot:7", 10, "LIB005", nullptr}, {"slot:8", 11, nullptr, nullptr},  {"slot:9", 12, "LIB006", nullptr},
        {"slot:10", 13, nullptr, nullptr}, {"ie:1", 14, nullptr, nullptr},    {"transport:0", 3, nullptr, nullptr}};
    const auto quoted = [](const char* text) { return text ? '"' + std::string(text) + '"' : std::string("null"); };
    std::string text = "{\"changer\": \"" + std::string(library_url()) + "/3\", \"elements\": [";
    for (const auto& e : elements) {
        char line[400];
        snprintf(line, sizeof line,
                 "%s\n  {\"name\": \"%s\", \"type\": \"%.*s\", \"address\": %d, \"full\": %s, \"barcode\": %s, "
                 "\"source\": null, \"cleaning\": false, \"identifier\": %s, \"exception\": null}",
                 e.address == 1 ? "" : ",", e.name, static_cast<int>(std::strchr(e.name, ':') - e.name), e.name, e.address,
                 e.barcode ? "true" : "false", quoted(e.barcode).c_str(), quoted(e.identifier).c_str());
        text += line;
    }
    return text + "\n]}\n";
}

std::string status_json(const char* option = "--json")
{
    return brxtool_here({"changer", "status", std::string(library_url()) + "/3", "--json", option}).standard_output;
}

TEST_F(library_Tgt, a_run_images_every_tape_as_brx_dumps_it_and_puts_it_back)
{
    EXPECT_EQ(status_json("--initialize"), expected_layout());
    const brx_run_t run = run_program(BRXTOOL_EXECUTABLE, command(), folder.path(), 120);
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_EQ(run.standard_error, "");
    expect_images();
    EXPECT_FALSE(folder.exists("out/CLN001.dmp"));
    EXPECT_EQ(status_json(), expected_layout());
    // brx's own dump of one tape from one drive.
    ASSERT_EQ(brxtool_here({"changer", "load", changer(), "slot:1", "drive:1"}).exit_status, 0);
    const brx_run_t brx = run_brx_on("BRX_TAPE0", drive(1), {"\\\\.\\tape0", "brx.dmp", "/block=1048576"}, folder.path());
    EXPECT_EQ(brx.exit_status, 0) << brx.standard_error;
    EXPECT_TRUE(folder.read("brx.dmp") == folder.read("out/LIB001.dmp"));
    ASSERT_EQ(brxtool_here({"changer", "unload", changer(), "drive:1"}).exit_status, 0);
}

// On Linux brxtool takes device strings where \\.\ names stand: kernel nodes and registered schemes.
TEST(library_devices, device_strings_name_devices)
{
    register_test_device_schemes();
    scratch_directory_t folder;
    folder.write("tape.dmp", container_of({record_of(10, 1), ""}));
    const std::string tape = "vtape:" + folder.file("tape.dmp");
    for (const std::string& name : {std::string("/dev/null"), std::string("\\\\.\\Changer0"), tape})
        EXPECT_TRUE(names_device(name.c_str())) << name;
    for (const std::string& name : {folder.file("tape.dmp"), std::string("nosuch:tape"), std::string("/tmp")})
        EXPECT_FALSE(names_device(name.c_str())) << name;
    const brx_run_t run = brxtool_here({"list", tape});
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_EQ(run.standard_output, tape + ": device\nfile 0: record 1: 10 bytes\nfile 0: tape mark: 1 records, 10 bytes\n"
                                          "total: 1 files, 1 records, 10 bytes, 1 tape marks, 0 bad records\n");
}

// Starts a run and kills it with SIGKILL as soon as cut says so; false when it ended first.
bool run_killed(const std::vector<std::string>& arguments, const std::function<bool()>& cut)
{
    const pid_t child = spawn({BRXTOOL_EXECUTABLE, arguments, ".", {}});
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (cut()) {
            kill(child, SIGKILL);
            return finish(child) == -1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

size_t lines_of(const std::string& text, const std::string& start)
{
    size_t count = 0;
    for (size_t at = text.find("\n" + start); at != std::string::npos; at = text.find("\n" + start, at + 1))
        ++count;
    return count;
}

TEST_F(library_Tgt, a_run_killed_anywhere_is_finished_by_the_next)
{
    const std::string journal = folder.file("out/library.journal");
    const auto partial_written = [this] {
        for (const auto& entry : std::filesystem::directory_iterator(folder.file("out")))
            if (entry.path().extension() == ".partial" && std::filesystem::file_size(entry.path()) > 100000)
                return true;
        return false;
    };
    const struct {
        const char* point;
        std::function<bool()> cut;
    } points[] = {
        {"during a move", [&] { return lines_of(folder.read("out/library.journal"), "load ") > 2; }},
        {"during an image", partial_written},
        {"between tapes", [&] { return lines_of(folder.read("out/library.journal"), "returned ") > 2; }},
    };
    for (const auto& point : points) {
        SCOPED_TRACE(point.point);
        std::filesystem::remove_all(folder.file("out"));
        std::filesystem::create_directory(folder.file("out"));
        EXPECT_TRUE(run_killed(command("--manifest"), point.cut));
        const brx_run_t run = run_program(BRXTOOL_EXECUTABLE, command("--manifest"), folder.path(), 120);
        EXPECT_EQ(run.exit_status, 0) << run.standard_error;
        expect_images();
        const std::string lines = folder.read("out/library.journal");
        for (const auto& [barcode, blocks] : contents) {
            EXPECT_EQ(lines_of(lines, "imaged " + barcode + " "), 1u) << barcode << "\n" << lines;
            const std::string image = folder.file("out/" + barcode + ".dmp");
            EXPECT_EQ(brxtool_here({"verify", "--manifest", image + ".json", image}).exit_status, 0) << barcode;
        }
        EXPECT_EQ(status_json(), expected_layout());
    }
}

}  // namespace
