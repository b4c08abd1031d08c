#include "brxtool/brxtool_main.h"

#include <cstdio>
#include <string>

#include "brxtool/commands.h"

namespace {

const char usage[] =
    "Usage: brxtool COMMAND [options] ARGS\n"
    "Lists, compares, converts and checks tape images (brx dump files, SIMH .tap, E11, AWS) and tapes.\n"
    "  list IMAGE|DEVICE        the tape's files, records and labels\n"
    "  verify A B               compare two tapes record by record\n"
    "  convert IN OUT           copy a tape into an image of another format\n"
    "  check IMAGE              find structural damage; --repair OUT writes what can be kept\n"
    "  changer ACTION CHANGER   a tape library's elements: status, move, load, unload\n"
    "  library CHANGER OUTDIR   image every tape of a library, on all its drives at once\n"
    "brxtool COMMAND --help tells more. Devices: \\\\.\\tapeN, \\\\.\\scsiN:B:T, \\\\.\\changerN.\n"
    "Exit status: 0 success, 1 a difference or damage found, 2 trouble.\n";

const command_t* const commands[] = {&list_command,  &verify_command,  &convert_command,
                                     &check_command, &changer_command, &library_command};

const command_t* find_command(const std::string& name)
{
    for (const command_t* command : commands)
        if (name == command->name)
            return command;
    return nullptr;
}

}  // namespace

bool format_option(const arguments_t& arguments, const char* option, format_t& format)
{
    format = format_t::unknown;
    if (!arguments.has(option))
        return true;
    format = format_named(arguments.value(option));
    if (format == format_t::unknown)
        fprintf(stderr, "brxtool: --%s takes brx, tap, e11 or aws, not '%s'\n", option, arguments.value(option).c_str());
    return format != format_t::unknown;
}

int brxtool_main(int argc, char** argv)
{
    std::string name = argc > 1 ? argv[1] : "";
    if (name == "--help" || name == "-h" || name == "help") {
        fputs(usage, stdout);
        return exit_same;
    }
    const command_t* command = find_command(name);
    if (command == nullptr) {
        if (!name.empty())
            fprintf(stderr, "brxtool: unknown command '%s'\n", name.c_str());
        fputs(usage, stderr);
        return exit_trouble;
    }
    arguments_t arguments;
    if (!parse_arguments(argc, argv, 2, command->options, arguments)) {
        fprintf(stderr, "brxtool %s --help tells how to use it\n", command->name);
        return exit_trouble;
    }
    if (arguments.has("help")) {
        fputs(command->help, stdout);
        return exit_same;
    }
    if (command->arguments != any_count && arguments.positional.size() != command->arguments) {
        fprintf(stderr, "brxtool: %s takes %zu argument%s\n%s", command->name, command->arguments,
                command->arguments == 1 ? "" : "s", command->help);
        return exit_trouble;
    }
    return command->run(arguments);
}
