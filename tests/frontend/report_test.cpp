// report: the same bytes to the console and the log, whole at any length.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "frontend/front_end_state.h"
#include "frontend/report.h"

TEST(report, messages_of_every_length_arrive_whole_in_both_places)
{
    // 259 characters fit the usual buffer with its terminating zero; longer ones are formatted again.
    for (size_t length : {259u, 260u, 70000u}) {
        const std::string name(length - 1, 'n');
        front_end.log_stream = tmpfile();
        testing::internal::CaptureStderr();
        report("BRX:%d: %s\n", 714, name.c_str());
        std::string console = testing::internal::GetCapturedStderr(), logged(length + 20, '\0');
        rewind(front_end.log_stream);
        logged.resize(fread(logged.data(), 1, logged.size(), front_end.log_stream));
        fclose(front_end.log_stream);
        front_end.log_stream = nullptr;
        std::erase(console, '\r');
        std::erase(logged, '\r');
        EXPECT_EQ(console, "BRX:714: " + name + "\n") << length;
        EXPECT_EQ(logged, console) << length;
    }
}
