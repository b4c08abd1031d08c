// brxtool's command line: COMMAND, then options and arguments in any order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Exit statuses, as cmp and diff have them.
constexpr int exit_same = 0;
constexpr int exit_different = 1;  // a difference or damage found
constexpr int exit_trouble = 2;    // a usage or I/O error

struct known_option_t {
    const char* name;  // without the leading "--"
    bool takes_value;
};

struct arguments_t {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // a flag maps to ""; the last value of each
    std::multimap<std::string, std::string> given;  // every value, in order, for repeatable options
    std::vector<std::string> command_line;  // as typed, program name first, for manifests
    bool has(const std::string& name) const { return options.count(name) != 0; }
    std::string value(const std::string& name) const;
    std::vector<std::string> values(const std::string& name) const;
};

// Reads argv from first on: "--name=value", "--name value", flags, "--help", and "--" before
// arguments that begin with "-". Prints the reason and returns false for anything else.
bool parse_arguments(int argc, char** argv, int first, const std::vector<known_option_t>& known,
                     arguments_t& arguments);

// --name's value as a whole number from lowest to highest, when the option is given (number keeps
// its default otherwise). Anything else is refused with "brxtool: <where>--name takes <what> from
// lowest to highest, not 'VALUE'"; where is "" or "COMMAND: ".
bool number_option(const arguments_t& arguments, const char* where, const char* name, uint32_t lowest,
                   uint32_t highest, uint32_t& number, const char* what = "a number");
