#include "copy/progress.h"

#include <chrono>
#include <cstdio>

#include "copy/copy_context.h"
#include "copy/record_ring.h"
#include "platform/platform.h"

progress_request_t progress_request;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr auto redraw_interval = std::chrono::milliseconds(250);
constexpr int rate_samples = 12;  // the rate over the last three seconds of redraws

struct sample_t {
    clock_type::time_point at;
    uint64_t bytes = 0;
};

struct progress_t {
    bool counting = false;
    bool drawing = false;  // standard error is a terminal
    size_t shown = 0;      // characters of the line on the screen now
    uint32_t file = 0;
    uint64_t records = 0, bytes = 0;
    clock_type::time_point start, last_look;
    sample_t samples[rate_samples];
    int next_sample = 0;
};

progress_t progress;
ring_space_t* shown_ring = nullptr;

double seconds(clock_type::duration d) { return std::chrono::duration<double>(d).count(); }

// The rate between the oldest sample kept and now.
double recent_rate(clock_type::time_point now)
{
    const sample_t& oldest = progress.samples[progress.next_sample];
    const double span = seconds(now - oldest.at);
    return span > 0 ? static_cast<double>(progress.bytes - oldest.bytes) / span : 0;
}

// An amount with the largest unit that leaves at least 1 in front of the point.
struct amount_t {
    double value;
    const char* unit;
};

amount_t in_units(double bytes)
{
    static const char* const units[] = {"bytes", "kB", "MB", "GB", "TB"};
    int unit = 0;
    for (; bytes >= 1000 && unit < 4; ++unit)
        bytes /= 1000;
    return {bytes, units[unit]};
}

int format_line(char* line, size_t size, clock_type::time_point now)
{
    const auto elapsed = static_cast<unsigned long>(seconds(now - progress.start));
    const amount_t total = in_units(static_cast<double>(progress.bytes)), rate = in_units(recent_rate(now));
    char ring[32] = "";
    if (shown_ring != nullptr)
        snprintf(ring, sizeof ring, ", buffer %u%%", shown_ring->fill_percent());
    return snprintf(line, size, "file %lu, %llu records, %.1f %s, %.1f %s/s, %lu:%02lu:%02lu%s",
                    static_cast<unsigned long>(progress.file), static_cast<unsigned long long>(progress.records),
                    total.value, total.unit, rate.value, rate.unit, elapsed / 3600, elapsed / 60 % 60, elapsed % 60,
                    ring);
}

void draw(clock_type::time_point now)
{
    char line[128];
    const int length = format_line(line, sizeof line, now);
    if (length <= 0)
        return;
    const size_t drawn = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
    // Spaces cover what is left of a longer line before; the cursor stays at the line's start.
    fprintf(stderr, "\r%s%*s\r", line, static_cast<int>(progress.shown > drawn ? progress.shown - drawn : 0), "");
    progress.shown = drawn;
    progress.samples[progress.next_sample] = {now, progress.bytes};
    progress.next_sample = (progress.next_sample + 1) % rate_samples;
}

// One line on request, as dd gives it, whether or not standard error is a terminal.
void print_requested_line(clock_type::time_point now)
{
    char line[128];
    if (format_line(line, sizeof line, now) <= 0)
        return;
    progress_erase();
    fprintf(stderr, "%s\n", line);
}

}  // namespace

void progress_start()
{
    if (!copy_context.progress)
        return;
    progress = progress_t{};
    progress.counting = true;
    progress.drawing = _isatty(_fileno(stderr)) != 0;
    progress.start = progress.last_look = clock_type::now();
    for (sample_t& sample : progress.samples)
        sample.at = progress.start;
    if (progress_request.begin != nullptr)
        progress_request.begin();
}

void progress_block(uint32_t length)
{
    if (!progress.counting)
        return;
    if (length == 0) {
        ++progress.file;
    } else {
        ++progress.records;
        progress.bytes += length;
    }
    const clock_type::time_point now = clock_type::now();
    if (now - progress.last_look < redraw_interval)
        return;
    progress.last_look = now;
    if (progress_request.taken != nullptr && progress_request.taken())
        print_requested_line(now);
    if (progress.drawing)
        draw(now);
}

void progress_erase()
{
    if (progress.shown == 0)
        return;
    fprintf(stderr, "\r%*s\r", static_cast<int>(progress.shown), "");
    progress.shown = 0;
}

void progress_end()
{
    progress_erase();
    progress.counting = false;
}

void progress_show_ring(ring_space_t* ring) { shown_ring = ring; }
