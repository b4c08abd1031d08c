// The switches: what each sets, atoi's reading of the count, the messages, lower-casing in place,
// and where the examination stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/options.h"

TEST(options, values_flags_and_messages)
{
    const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";
    const struct {
        std::vector<std::string> arguments;  // after "brx", "a", "b"
        int32_t reads;
        uint8_t ignore;
        std::string messages;  // empty: the options are valid
    } cases[] = {
        {{}, 0, 0, ""},
        {{"/READS=12"}, 12, 0, ""},
        {{"/reads=  7"}, 7, 0, ""},  // atoi skips leading blanks
        {{"/reads=+5x"}, 5, 0, ""},  // and stops at the first non-digit
        {{"/reads=abc"}, 0, 0, ""},
        {{"/reads=-4"}, 0, 0, ""},  // no attempts rather than endless ones
        {{"/reads=3", "/reads=1"}, 1, 0, ""},
        {{"/IGNORED"}, 0, 1, ""},
        {{"/ignor"}, 0, 0, ""},
        {{"x/ignore", "x/reads=4"}, 0, 0, ""},  // an option only at the start
        {{"/verbose", "/reads=2", "/ignore"}, 2, 1, ""},
        {{"/reads=2", "/reads=", "/ignore"}, 2, 0, no_reads},
        {{"/log="}, 0, 0, "brx: log file name not specifyed\n"},
        {{"/LOG=", "/reads="}, 0, 0, "brx: log file name not specifyed\n"},
        {{"/log=/no/such/Dir/x"}, 0, 0, "brx: can not open log file name: \"/no/such/dir/x\"\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"brx", "a", "b"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        front_end_state_t state;
        testing::internal::CaptureStderr();
        const bool valid = parse_options(static_cast<int>(argv.size()), argv.data(), state);
        std::string messages = testing::internal::GetCapturedStderr();
        std::erase(messages, '\r');
        if (state.log_stream != nullptr)
            fclose(state.log_stream);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(valid, c.messages.empty()) << shown;
        EXPECT_EQ(state.bad_block_reads, c.reads) << shown;
        EXPECT_EQ(state.ignore, c.ignore) << shown;
        EXPECT_EQ(messages, c.messages) << shown;
    }
}

TEST(options, examined_arguments_are_lower_cased_in_place_and_the_rest_are_not)
{
    std::vector<std::string> arguments = {"brx", "\\\\.\\TAPE0", "Out.DMP", "/Verbose", "/READS=", "/IGNORE"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    front_end_state_t state;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parse_options(static_cast<int>(argv.size()), argv.data(), state));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(state.ignore, 0);
    EXPECT_EQ(arguments, (std::vector<std::string>{"brx", "\\\\.\\TAPE0", "Out.DMP", "/verbose", "/reads=", "/IGNORE"}));
}
