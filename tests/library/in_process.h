// brxtool run inside the test process, where the test's simulated devices are registered.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "brxtool/brxtool_main.h"
#include "tests/support/e2e.h"

namespace library_test {

inline brx_run_t brxtool_here(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "brxtool");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    brx_run_t run;
    run.exit_status = brxtool_main(static_cast<int>(argv.size()), argv.data());
    fflush(stdout);
    fflush(stderr);
    run.standard_output = testing::internal::GetCapturedStdout();
    run.standard_error = testing::internal::GetCapturedStderr();
    std::erase(run.standard_output, '\r');  // on Windows each "\n" arrives as "\r\n"
    std::erase(run.standard_error, '\r');
    return run;
}

// The summary table with what varies from run to run (which drive, how long) left out.
inline std::string steady(const std::string& table)
{
    return std::regex_replace(std::regex_replace(table, std::regex("drive:[0-9]"), "drive:N"),
                              std::regex(" +[0-9]+\\.[0-9]( |\n)"), " S$1");
}

}  // namespace library_test
