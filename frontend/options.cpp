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
    state.log_name = name;
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

// Digits only, 1 to largest.
static bool whole_number(const char* value, uint32_t largest, uint32_t& number)
{
    number = 0;
    const char* at = value;
    for (; *at >= '0' && *at <= '9' && number <= largest; ++at)
        number = number * 10 + static_cast<uint32_t>(*at - '0');
    return at != value && *at == '\0' && number != 0 && number <= largest;
}

// 1 to 16,777,215: the longest record READ(6) and WRITE(6) can carry.
static bool set_block(const char* value, front_end_state_t& state)
{
    uint32_t number = 0;
    if (whole_number(value, longest_block_option, number)) {
        state.longest_record = number;
        return true;
    }
    fprintf(stderr, "brx: block size must be a number from 1 to 16777215: \"%s\"\n", value);
    return false;
}

static bool set_ring(const char* value, front_end_state_t& state)
{
    uint32_t mib = 0;
    if (whole_number(value, largest_ring_mib, mib)) {
        state.ring_mib = mib;
        return true;
    }
    fprintf(stderr, "brx: buffer size must be a number of MiB from 1 to %lu: \"%s\"\n",
            static_cast<unsigned long>(largest_ring_mib), value);
    return false;
}

static bool set_bad_list(const char* name, front_end_state_t& state)
{
    if (*name == '\0') {
        fprintf(stderr, "brx: file name for the list of skipped records missing\n");
        return false;
    }
    state.bad_list = name;
    return true;
}

// The extension words; none of them begins with an older option, which are looked at first.
static bool parse_extension(const char* argument, front_end_state_t& state)
{
    if (starts_with(argument, block_option))
        return set_block(argument + strlen(block_option), state);
    if (starts_with(argument, bad_option))
        return set_bad_list(argument + strlen(bad_option), state);
    if (starts_with(argument, buffer_option))
        return set_ring(argument + strlen(buffer_option), state);
    if (strcmp(argument, skip_option) == 0)
        state.skip = true;
    else if (strcmp(argument, strict_option) == 0)
        state.strict = true;
    else if (strcmp(argument, progress_option) == 0)
        state.progress = true;
    else if (strcmp(argument, manifest_option) == 0)
        state.manifest = true;
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
    else
        return parse_extension(argument, state);
    return true;
}

bool parse_options(int argc, char** argv, front_end_state_t& state)
{
    for (int i = 3; i < argc; ++i)
        if (!parse_option(argv[i], state))
            return false;
    return true;
}
