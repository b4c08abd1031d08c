// report: the same bytes to the console and the log, whole at any length; system_error_text: the
// one process-wide buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/system_error_text.h"

TEST(report, messages_of_every_length_arrive_whole_in_both_places)
{
    // 259 characters fit the usual buffer with its terminating zero; longer ones are formatted again.
    for (size_t length : {0u, 259u, 260u, 70000u}) {
        const std::string name(length == 0 ? 10 : length - 1, 'n');
        FILE* log = length == 0 ? nullptr : tmpfile();  // 0: no log, the console only
        front_end.log_stream = log;
        testing::internal::CaptureStderr();
        report("BRX:%d: %s\n", 714, name.c_str());
        std::string console = testing::internal::GetCapturedStderr(), logged;
        front_end.log_stream = nullptr;
        std::erase(console, '\r');
        EXPECT_EQ(console, "BRX:714: " + name + "\n") << length;
        if (log == nullptr)
            continue;
        rewind(log);
        for (int c = fgetc(log); c != EOF; c = fgetc(log))
            logged += static_cast<char>(c);
        std::erase(logged, '\r');
        EXPECT_EQ(logged, console) << length;
        fclose(log);
    }
}

TEST(system_error_text, always_the_same_buffer_and_never_a_stale_text)
{
    const char* first = system_error_text(ERROR_FILE_NOT_FOUND);
    const std::string file_not_found = first;
    ASSERT_FALSE(file_not_found.empty());
    EXPECT_EQ(file_not_found.back(), '\n');
    EXPECT_EQ(system_error_text(ERROR_ACCESS_DENIED), first);
    EXPECT_NE(std::string(first), file_not_found);
    EXPECT_STREQ(system_error_text(0x2BADC0DEu), "");  // no text: empty, not the last one
}
