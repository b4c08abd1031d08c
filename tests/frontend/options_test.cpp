// The switches: what each sets, atoi's reading of the count, the messages, lower-casing in place,
// and where the examination stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/options.h"

TEST(options, values_flags_messages_and_lower_casing)
{
    const struct {
        std::vector<std::string> arguments, after;  // after "brx", "A", "B"; after: as left by the examination
        int32_t reads;
        uint8_t ignore;
        std::string messages;  // empty: the options are valid
    } cases[] = {
        {{"/READS=12", "/Verbose"}, {"/reads=12", "/verbose"}, 12, 0, ""},
        {{"/reads=+5x"}, {"/reads=+5x"}, 5, 0, ""},  // atoi stops at the first non-digit
        {{"/reads=-4"}, {"/reads=-4"}, 0, 0, ""},    // no attempts rather than endless ones
        {{"/reads=3", "/reads=1", "/IGNORED"}, {"/reads=3", "/reads=1", "/ignored"}, 1, 1, ""},
        {{"x/ignore", "/ignor"}, {"x/ignore", "/ignor"}, 0, 0, ""},  // an option only at the start, and whole
        {{"/reads=2", "/reads=", "/IGNORE"}, {"/reads=2", "/reads=", "/IGNORE"}, 2, 0,
         "brx: number of attempts to read the bad block not specifyed\n"},
        {{"/LOG=", "/reads="}, {"/log=", "/reads="}, 0, 0, "brx: log file name not specifyed\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"brx", "A", "B"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        front_end_state_t state;
        testing::internal::CaptureStderr();
        const bool valid = parse_options(static_cast<int>(argv.size()), argv.data(), state);
        std::string messages = testing::internal::GetCapturedStderr();
        std::erase(messages, '\r');
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(valid, c.messages.empty()) << shown;
        EXPECT_EQ(state.bad_block_reads, c.reads) << shown;
        EXPECT_EQ(state.ignore, c.ignore) << shown;
        EXPECT_EQ(messages, c.messages) << shown;
        EXPECT_EQ(arguments[1] + arguments[2], "AB");  // the names are left alone
        EXPECT_EQ(std::vector<std::string>(arguments.begin() + 3, arguments.end()), c.after) << shown;
    }
}

TEST(options, extension_words)
{
    const struct {
        std::vector<std::string> arguments;
        uint32_t block;
        std::string flags;  // s: skip, t: strict, p: progress, b and the ring's MiB; then the list name after '='
        std::string messages;
    } cases[] = {
        {{"/BLOCK=1048576", "/Skip", "/strict", "/progress", "/bad=X.Bad"}, 1048576, "stp=x.bad", ""},
        {{"/block=16777215", "/skipped", "/strictly", "/block"}, 16777215, "", ""},  // whole words only
        {{"/block=16777216"}, 0, "", "brx: block size must be a number from 1 to 16777215: \"16777216\"\n"},
        {{"/block=0"}, 0, "", "brx: block size must be a number from 1 to 16777215: \"0\"\n"},
        {{"/block=+5", "/skip"}, 0, "", "brx: block size must be a number from 1 to 16777215: \"+5\"\n"},
        {{"/bad="}, 0, "", "brx: file name for the list of skipped records missing\n"},
        {{"/BUFFER=4096", "/buffer"}, 0, "b4096", ""},
        {{"/buffer=4097"}, 0, "", "brx: buffer size must be a number of MiB from 1 to 4096: \"4097\"\n"},
        {{"/buffer=0"}, 0, "", "brx: buffer size must be a number of MiB from 1 to 4096: \"0\"\n"},
        {{"/buffer=1m"}, 0, "", "brx: buffer size must be a number of MiB from 1 to 4096: \"1m\"\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"brx", "A", "B"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        front_end_state_t state;
        testing::internal::CaptureStderr();
        const bool valid = parse_options(static_cast<int>(argv.size()), argv.data(), state);
        std::string messages = testing::internal::GetCapturedStderr();
        std::erase(messages, '\r');
        const std::string flags = std::string(state.skip ? "s" : "") + (state.strict ? "t" : "") +
                                  (state.progress ? "p" : "") + (state.ring_mib ? "b" : "") +
                                  (state.ring_mib ? std::to_string(state.ring_mib) : "") +
                                  (state.bad_list ? std::string("=") + state.bad_list : "");
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(valid, c.messages.empty()) << shown;
        EXPECT_EQ(state.longest_record, c.block) << shown;
        EXPECT_EQ(flags, c.flags) << shown;
        EXPECT_EQ(messages, c.messages) << shown;
    }
}
