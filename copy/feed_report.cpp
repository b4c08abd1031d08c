#include "copy/feed_report.h"

void report_feed(const message_target_t& to, const ring_report_t& report, bool drive_reads)
{
    const ring_waits_t& drive = drive_reads ? report.reading : report.writing;
    const ring_waits_t& file = drive_reads ? report.writing : report.reading;
    const double rate = report.seconds > 0 ? static_cast<double>(report.bytes) / report.seconds / 1e6 : 0;
    say(to,
        "Buffer of %llu MiB: %llu records and %llu tape marks, %llu bytes in %.2f s (%.1f MB/s); the drive waited "
        "%llu times (%.2f s), the file %llu times (%.2f s)\n",
        static_cast<unsigned long long>(report.size >> 20), static_cast<unsigned long long>(report.records),
        static_cast<unsigned long long>(report.marks), static_cast<unsigned long long>(report.bytes), report.seconds,
        rate, static_cast<unsigned long long>(drive.times), drive.seconds, static_cast<unsigned long long>(file.times),
        file.seconds);
}
