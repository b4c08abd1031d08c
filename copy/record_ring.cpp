#include "copy/record_ring.h"

#include <algorithm>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr uint64_t piece_alignment = 512;

uint64_t piece_for(uint32_t used)
{
    const uint64_t bytes = std::max<uint64_t>(used, 1);
    return (bytes + piece_alignment - 1) / piece_alignment * piece_alignment;
}

void add_wait(ring_waits_t& waits, clock_type::time_point since)
{
    ++waits.times;
    waits.seconds += std::chrono::duration<double>(clock_type::now() - since).count();
}

}  // namespace

ring_space_t::ring_space_t(uint8_t* memory, uint64_t size, uint32_t room, ring_marks_t marks)
    : memory(memory), size(size), room(room), marks(marks)
{
    starting = marks.start_writing > 0;
    totals.size = size;
}

ring_space_t::~ring_space_t()
{
    stop();
    join();
}

void ring_space_t::start(std::function<void()> read)
{
    started = clock_type::now();
    reader = std::thread([this, read] {
        read();
        finish();
    });
}

void ring_space_t::stop()
{
    std::lock_guard<std::mutex> guard(lock);
    stopped = true;
    room_freed.notify_all();
    entry_added.notify_all();
}

void ring_space_t::join()
{
    if (reader.joinable())
        reader.join();
}

ring_report_t ring_space_t::end()
{
    stop();
    join();
    return report();
}

void ring_space_t::finish()
{
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
    entry_added.notify_all();
}

// The pieces in use run from the oldest one's start to head, round the end of the ring when
// head lies before it; the piece at head needs room bytes free in front of that start (pieces
// start 512 bytes apart, so that is a whole piece of room bytes rounded up).
bool ring_space_t::has_room() const
{
    if (pieces.empty())
        return true;
    const uint64_t oldest = pieces.front().at;
    return head > oldest || head + room <= oldest;
}

uint8_t* ring_space_t::claim()
{
    std::unique_lock<std::mutex> guard(lock);
    const clock_type::time_point since = clock_type::now();
    bool waited = false;
    while (!stopped && (paused || !has_room())) {
        paused = paused || marks.resume_reading < 100;
        reader_waits = true;
        if (writer_waits && may_take())
            entry_added.notify_one();  // a writing side that waits for its start mark begins now
        room_freed.wait(guard);
        waited = true;
    }
    reader_waits = false;
    if (waited)
        add_wait(totals.reading, since);
    if (pieces.empty())
        head = 0;  // an empty ring starts over where the memory is warm
    return stopped ? nullptr : memory + head;
}

void ring_space_t::published(uint32_t used)
{
    const uint64_t piece = piece_for(used);
    pieces.push_back({head, piece});
    filled += piece;
    head = head + piece >= size ? 0 : head + piece;
    if (waiting++ == 0)
        oldest_waiting_since = clock_type::now();
    // The writing side wakes for what it may take, and for a first entry whose hold it then times.
    if (writer_waits && (may_take() || (waiting == 1 && marks.longest_hold_ms != 0)))
        entry_added.notify_one();
}

bool ring_space_t::may_take() const
{
    return waiting > 0 && (!starting || finished || reader_waits || filled * 100 >= size * marks.start_writing);
}

bool ring_space_t::wait_for_entry(std::unique_lock<std::mutex>& guard)
{
    free_taken();
    const clock_type::time_point since = clock_type::now();
    bool waited = false;
    const auto longest_hold = std::chrono::milliseconds(marks.longest_hold_ms);
    while (!stopped && !may_take() && !(finished && waiting == 0)) {
        starting = starting || (waiting == 0 && marks.start_writing > 0);
        writer_waits = true;
        if (waiting == 0 || longest_hold.count() == 0)
            entry_added.wait(guard);
        else if (entry_added.wait_until(guard, oldest_waiting_since + longest_hold) == std::cv_status::timeout)
            starting = false;  // what is there goes out before it waits any longer
        waited = true;
    }
    writer_waits = false;
    if (waited)
        add_wait(totals.writing, since);
    if (stopped || waiting == 0)
        return false;
    starting = false;
    --waiting;
    taken = true;
    return true;
}

void ring_space_t::release()
{
    std::lock_guard<std::mutex> guard(lock);
    free_taken();
}

void ring_space_t::release_written(uint32_t length)
{
    std::lock_guard<std::mutex> guard(lock);
    ++(length == 0 ? totals.marks : totals.records);
    totals.bytes += length;
    free_taken();
}

void ring_space_t::free_taken()
{
    if (!taken)
        return;
    taken = false;
    filled -= pieces.front().size;
    pieces.pop_front();
    if (paused && filled * 100 <= size * marks.resume_reading)
        paused = false;
    if (reader_waits && !paused && has_room())
        room_freed.notify_one();
}

unsigned ring_space_t::fill_percent()
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<unsigned>(std::min<uint64_t>(100, filled * 100 / size));
}

ring_report_t ring_space_t::report()
{
    std::lock_guard<std::mutex> guard(lock);
    ring_report_t copy = totals;
    copy.seconds = std::chrono::duration<double>(clock_type::now() - started).count();
    return copy;
}
