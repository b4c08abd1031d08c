// The switches: what each sets, atoi's reading of the count, the messages, lower-casing in place,
// and where the examination stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/options.h"

TEST(options, values_flags_messages_and_lower_casing)
{
    const std::string block = "brx: block size must be a number from 1 to 16777215: ",
                      buffer = "brx: buffer size must be a number of MiB from 1 to 4096: ";
    // After "brx", "A", "B"; after: as left by the examination (empty: as given); flags: r and the
    // count, i: ignore, k and /block=, s: skip, t: strict, p: progress, b and the ring's MiB, = list.
    const struct { std::vector<std::string> arguments, after; std::string flags, messages; } cases[] = {
        {{"/READS=12", "/Verbose"}, {"/reads=12", "/verbose"}, "r12", ""},
        {{"/reads=+5x"}, {}, "r5", ""},  // atoi stops at the first non-digit
        {{"/reads=-4"}, {}, "", ""},     // no attempts rather than endless ones
        {{"/reads=3", "/reads=1", "/IGNORED"}, {"/reads=3", "/reads=1", "/ignored"}, "r1i", ""},
        {{"x/ignore", "/ignor"}, {}, "", ""},  // an option only at the start, and whole
        {{"/reads=2", "/reads=", "/IGNORE"}, {}, "r2", "brx: number of attempts to read the bad block not specifyed\n"},
        {{"/LOG=", "/reads="}, {"/log=", "/reads="}, "", "brx: log file name not specifyed\n"},
        {{"/BLOCK=1048576", "/Skip", "/strict", "/progress", "/bad=X.Bad"}, {"/block=1048576", "/skip", "/strict", "/progress",
          "/bad=x.bad"}, "k1048576stp=x.bad", ""},
        {{"/block=16777215", "/skipped", "/strictly", "/block"}, {}, "k16777215", ""},  // whole words only
        {{"/block=16777216"}, {}, "", block + "\"16777216\"\n"},
        {{"/block=0"}, {}, "", block + "\"0\"\n"},
        {{"/block=+5", "/skip"}, {}, "", block + "\"+5\"\n"},
        {{"/bad="}, {}, "", "brx: file name for the list of skipped records missing\n"},
        {{"/BUFFER=4096", "/buffer"}, {"/buffer=4096", "/buffer"}, "b4096", ""},
        {{"/buffer=4097"}, {}, "", buffer + "\"4097\"\n"},
        {{"/buffer=0"}, {}, "", buffer + "\"0\"\n"},
        {{"/buffer=1m"}, {}, "", buffer + "\"1m\"\n"},
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
        const auto number = [](const char* letter, int64_t value) { return value ? std::string(letter).append(std::to_string(value)) : std::string(); };
        const std::string flags = number("r", state.bad_block_reads) + (state.ignore ? "i" : "") +
                                  number("k", state.longest_record) + (state.skip ? "s" : "") + (state.strict ? "t" : "") +
                                  (state.progress ? "p" : "") + number("b", state.ring_mib) +
                                  (state.bad_list ? std::string("=") + state.bad_list : "");
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(valid, c.messages.empty()) << shown;
        EXPECT_EQ(flags, c.flags) << shown;
        EXPECT_EQ(messages, c.messages) << shown;
        EXPECT_EQ(arguments[1] + arguments[2], "AB");  // the names are left alone
        EXPECT_EQ(std::vector<std::string>(arguments.begin() + 3, arguments.end()), c.after.empty() ? c.arguments : c.after)
            << shown;
    }
}
