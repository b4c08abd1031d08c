#include "brxtool/progress.h"

#include <cinttypes>
#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr auto quiet_start = std::chrono::seconds(2);
constexpr auto interval = std::chrono::milliseconds(250);

thread_local progress_t* on_screen = nullptr;

}  // namespace

progress_t::progress_t(const char* name, bool drawn)
    : command(name), terminal(drawn && _isatty(_fileno(stderr)) != 0), start(clock::now()), next(start + quiet_start)
{
}

void progress_t::clear()
{
    if (shown)
        fprintf(stderr, "\r%60s\r", "");
    shown = false;
    if (on_screen == this)
        on_screen = nullptr;
}

void clear_progress_line()
{
    if (on_screen != nullptr)
        on_screen->clear();
}

void progress_t::update(uint64_t bytes, uint64_t records)
{
    if (!terminal)
        return;
    clock::time_point now = clock::now();
    if (now < next)
        return;
    next = now + interval;
    double seconds = std::chrono::duration<double>(now - start).count();
    fprintf(stderr, "\rbrxtool %s: %" PRIu64 " records, %.1f MB, %.1f MB/s ", command, records, bytes / 1e6,
            bytes / 1e6 / seconds);
    fflush(stderr);
    shown = true;
    on_screen = this;
}
