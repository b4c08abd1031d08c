// The commands: each takes its parsed arguments and returns the exit status.
#pragma once

#include <vector>

#include "brxtool/arguments.h"
#include "brxtool/formats.h"

struct command_t {
    const char* name;
    const char* help;  // printed by --help
    std::vector<known_option_t> options;
    size_t arguments;  // how many positional arguments it takes (any_count: it checks them itself)
    int (*run)(const arguments_t& arguments);
};

constexpr size_t any_count = static_cast<size_t>(-1);

extern const command_t list_command;
extern const command_t verify_command;
extern const command_t convert_command;
extern const command_t check_command;
extern const command_t manifest_command;
extern const command_t merge_command;
extern const command_t retry_command;
extern const command_t changer_command;
extern const command_t library_command;
// All of them, in the order the usage text lists them.
constexpr size_t brxtool_command_count = 9;
extern const command_t* const brxtool_commands[brxtool_command_count];

// The format --from (or another option) names: unknown when not given. false (after saying
// why) when it names none.
bool format_option(const arguments_t& arguments, const char* option, format_t& format);
// The same for two tapes: "A,B" names one format each (either may be empty), a single name both.
bool format_pair_option(const arguments_t& arguments, const char* option, format_t (&formats)[2]);
// The format of an image to write: --to, else from the extension of its name.
bool output_format(const arguments_t& arguments, const char* command, const std::string& name, format_t& to);
