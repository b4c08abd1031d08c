#include "brxtool/library_progress.h"

#include <cinttypes>
#include <cstdio>

library_progress_t::library_progress_t(library_t& library)
    : library(library), terminal(_isatty(_fileno(stderr)) != 0), last(clock::now()), last_bytes(library.drives.size())
{
    // A Windows console shows escape sequences once asked to; without them all drives share a line.
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (terminal && GetConsoleMode(console, &mode))
        in_place = SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

library_progress_t::~library_progress_t() { erase(); }

std::string library_progress_t::line_of(library_drive_t& drive, size_t index, double seconds)
{
    std::string state;
    {
        std::lock_guard<std::mutex> guard(drive.state_lock);
        state = drive.state;
    }
    char text[160];
    const uint64_t bytes = drive.live.bytes;
    const double rate = seconds > 0 && bytes >= last_bytes[index] ? (bytes - last_bytes[index]) / 1e6 / seconds : 0;
    last_bytes[index] = bytes;
    if (state.rfind("imaging ", 0) == 0)
        snprintf(text, sizeof text, "drive:%d %s, file %" PRIu64 ", %" PRIu64 " records, %.1f MB, %.1f MB/s", drive.number,
                 state.c_str(), drive.live.file.load(), drive.live.records.load(), bytes / 1e6, rate);
    else
        snprintf(text, sizeof text, "drive:%d %s", drive.number, state.empty() ? "idle" : state.c_str());
    return text;
}

void library_progress_t::paint()
{
    if (!terminal)
        return;
    const clock::time_point now = clock::now();
    const double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    std::string text = in_place && shown > 0 ? "\033[" + std::to_string(shown) + "A" : "\r";
    for (size_t i = 0; i < library.drives.size(); ++i) {
        const std::string line = line_of(*library.drives[i], i, seconds);
        text += in_place ? "\r\033[K" + line + "\n" : (i == 0 ? "" : " | ") + line;
    }
    shown = in_place ? library.drives.size() : 1;
    fputs(text.c_str(), stderr);
    fflush(stderr);
}

void library_progress_t::erase()
{
    if (shown == 0)
        return;
    if (in_place)
        fprintf(stderr, "\033[%zuA\r\033[J", shown);
    else
        fprintf(stderr, "\r%*s\r", 150, "");
    shown = 0;
}
