#include "brxtool/brxtool_main.h"

#include <cstdio>
#include <string>

#include "brxtool/commands.h"

namespace {

const char usage[] =
    "Usage: brxtool COMMAND [options] ARGS\n"
    "Lists, compares, converts and checks tape images (brx dump files, SIMH .tap, E11, AWS, HET)\n"
    "and tapes; - names standard input (or output).\n"
    "  list IMAGE|DEVICE        the tape's files, records and labels\n"
    "  verify A B               compare two tapes record by record\n"
    "  convert IN OUT           copy a tape into an image of another format\n"
    "  check IMAGE              find structural damage; --repair OUT writes what can be kept\n"
    "  manifest IMAGE           write IMAGE.json: digests per tape file, labels, lost records\n"
    "  merge A B... --out OUT   one image from several passes over the same tape\n"
    "  retry DEVICE IMAGE       read the records IMAGE lost once more, and put them in\n"
    "  changer ACTION CHANGER   a tape library's elements: status, move, load, unload\n"
    "  library CHANGER OUTDIR   image every tape of a library, on all its drives at once\n"
    "brxtool COMMAND --help tells more, brxtool --version the version.\n"
    "Devices: \\\\.\\tapeN, \\\\.\\scsiN:B:T, \\\\.\\changerN.\n"
    "Exit status: 0 success, 1 a difference or damage found, 2 trouble (merge and retry: 3 written,\n"
    "records still lost).\n";

const command_t* find_command(const std::string& name)
{
    for (const command_t* command : brxtool_commands)
        if (name == command->name)
            return command;
    return nullptr;
}

// One format name; an empty one (allowed in a pair) leaves the format to detection.
bool named_format(const std::string& name, bool empty_allowed, const char* option, format_t& format)
{
    format = format_named(name);
    if (format != format_t::unknown || (name.empty() && empty_allowed))
        return true;
    fprintf(stderr, "brxtool: --%s takes brx, tap, e11, aws or het, not '%s'\n", option, name.c_str());
    return false;
}

}  // namespace

const command_t* const brxtool_commands[brxtool_command_count] = {
    &list_command,  &verify_command, &convert_command, &check_command,  &manifest_command,
    &merge_command, &retry_command,  &changer_command, &library_command};

bool format_option(const arguments_t& arguments, const char* option, format_t& format)
{
    format = format_t::unknown;
    return !arguments.has(option) || named_format(arguments.value(option), false, option, format);
}

bool format_pair_option(const arguments_t& arguments, const char* option, format_t (&formats)[2])
{
    formats[0] = formats[1] = format_t::unknown;
    if (!arguments.has(option))
        return true;
    std::string value = arguments.value(option);
    size_t comma = value.find(',');
    if (comma == std::string::npos)
        return named_format(value, false, option, formats[0]) && named_format(value, false, option, formats[1]);
    return named_format(value.substr(0, comma), true, option, formats[0]) &&
           named_format(value.substr(comma + 1), true, option, formats[1]);
}

bool output_format(const arguments_t& arguments, const char* command, const std::string& name, format_t& to)
{
    if (!format_option(arguments, "to", to))
        return false;
    if (to == format_t::unknown)
        to = format_of_extension(name);
    if (to == format_t::unknown)
        fprintf(stderr, "brxtool: %s: cannot tell the format of %s from its name: give --to FORMAT\n", command,
                name.c_str());
    return to != format_t::unknown;
}

int brxtool_main(int argc, char** argv)
{
    std::string name = argc > 1 ? argv[1] : "";
    if (name == "--help" || name == "-h" || name == "help") {
        fputs(usage, stdout);
        return exit_same;
    }
    if (name == "--version") {
        printf("brxtool %s\n", BRX_VERSION);
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
    arguments.command_line.assign(argv, argv + argc);
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
