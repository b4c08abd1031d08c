#include "frontend/options.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

static bool starts_with(const char* argument, const char* option)
{
    return strstr(argument, option) == argument;
}

// A later "/log=" replaces the stream; the earlier file stays open, empty.
static bool open_log(const char* name, front_end_state_t& state)
{
    if (*name == '\0') {
        fprintf(stderr, "brx: log file name not specifyed\n");
        return false;
    }
    FILE* log = fopen(name, "w");
    if (log == nullptr) {
        fprintf(stderr, "brx: can not open log file name: \"%s\"\n", name);
        return false;
    }
    state.log_stream = log;
    return true;
}

static bool set_reads(const char* value, front_end_state_t& state)
{
    if (*value == '\0') {
        fprintf(stderr, "brx: number of attempts to read the bad block not specifyed\n");
        return false;
    }
    // Dump counts the attempts down to 0, so a negative count would never run out: no attempts.
    const int reads = atoi(value);
    state.bad_block_reads = reads < 0 ? 0 : reads;
    return true;
}

static bool parse_option(char* argument, front_end_state_t& state)
{
    _strlwr(argument);
    if (starts_with(argument, log_option))
        return open_log(argument + strlen(log_option), state);
    if (starts_with(argument, reads_option))
        return set_reads(argument + strlen(reads_option), state);
    if (starts_with(argument, ignore_option))
        state.ignore = 1;
    return true;
}

bool parse_options(int argc, char** argv, front_end_state_t& state)
{
    for (int i = 3; i < argc; ++i)
        if (!parse_option(argv[i], state))
            return false;
    return true;
}
