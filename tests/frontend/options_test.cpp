// The switches: what each sets, atoi's reading of the count, lower-casing in place, and where the
// examination stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/options.h"

namespace {

struct parsed_t {
    bool valid;
    int32_t reads;
    uint8_t ignore;
    std::string messages;
    std::vector<std::string> arguments;  // as left behind, lower-cased where examined
};

parsed_t parse(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    front_end_state_t state;
    testing::internal::CaptureStderr();
    const bool valid = parse_options(static_cast<int>(argv.size()), argv.data(), state);
    std::string messages = testing::internal::GetCapturedStderr();
    if (state.log_stream != nullptr)
        fclose(state.log_stream);
    return parsed_t{valid, state.bad_block_reads, state.ignore, messages, arguments};
}

}  // namespace

TEST(options, values_and_flags)
{
    const struct {
        std::vector<std::string> arguments;
        bool valid;
        int32_t reads;
        uint8_t ignore;
    } cases[] = {
        {{"brx", "a", "b"}, true, 0, 0},
        {{"brx", "a", "b", "/reads=3"}, true, 3, 0},
        {{"brx", "a", "b", "/READS=12"}, true, 12, 0},
        {{"brx", "a", "b", "/reads=  7"}, true, 7, 0},   // atoi skips leading blanks
        {{"brx", "a", "b", "/reads=+5x"}, true, 5, 0},   // and stops at the first non-digit
        {{"brx", "a", "b", "/reads=abc"}, true, 0, 0},
        {{"brx", "a", "b", "/reads=-4"}, true, 0, 0},    // no attempts rather than endless ones
        {{"brx", "a", "b", "/reads=3", "/reads=1"}, true, 1, 0},
        {{"brx", "a", "b", "/ignore"}, true, 0, 1},
        {{"brx", "a", "b", "/IGNORED"}, true, 0, 1},
        {{"brx", "a", "b", "/ignor"}, true, 0, 0},
        {{"brx", "a", "b", "x/ignore", "x/reads=4"}, true, 0, 0},  // an option only at the start
        {{"brx", "a", "b", "/verbose", "/reads=2", "/ignore"}, true, 2, 1},
        {{"brx", "/ignore", "/reads=5"}, true, 0, 0},    // the names are never options
        {{"brx", "a", "b", "/reads=2", "/reads=", "/ignore"}, false, 2, 0},
    };
    for (const auto& c : cases) {
        const parsed_t parsed = parse(c.arguments);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.valid, c.valid) << shown;
        EXPECT_EQ(parsed.reads, c.reads) << shown;
        EXPECT_EQ(parsed.ignore, c.ignore) << shown;
    }
}

TEST(options, examined_arguments_are_lower_cased_in_place_and_the_rest_are_not)
{
    const parsed_t parsed = parse({"brx", "\\\\.\\TAPE0", "Out.DMP", "/Verbose", "/READS=", "/IGNORE"});
    EXPECT_FALSE(parsed.valid);
    EXPECT_EQ(parsed.ignore, 0);
    EXPECT_EQ(parsed.arguments,
              (std::vector<std::string>{"brx", "\\\\.\\TAPE0", "Out.DMP", "/verbose", "/reads=", "/IGNORE"}));
}

TEST(options, bad_values_print_their_message_once)
{
    const struct {
        std::vector<std::string> arguments;
        std::string messages;
    } cases[] = {
        {{"brx", "a", "b", "/reads="}, "brx: number of attempts to read the bad block not specifyed\n"},
        {{"brx", "a", "b", "/log="}, "brx: log file name not specifyed\n"},
        {{"brx", "a", "b", "/LOG=", "/reads="}, "brx: log file name not specifyed\n"},
        {{"brx", "a", "b", "/log=/no/such/Dir/x"}, "brx: can not open log file name: \"/no/such/dir/x\"\n"},
        {{"brx", "a", "b", "/reads=1", "/ignore"}, ""},
    };
    for (const auto& c : cases) {
        const parsed_t parsed = parse(c.arguments);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.valid, c.messages.empty()) << shown;
#ifdef _WIN32
        std::string messages = parsed.messages;
        std::erase(messages, '\r');
        EXPECT_EQ(messages, c.messages) << shown;
#else
        EXPECT_EQ(parsed.messages, c.messages) << shown;
#endif
    }
}
