// A ring of buffers between two threads, as the buffer programs in tape users' pipes keep one: a
// reading side fills entries (a record each) and a writing side takes them out in the same order,
// so that a drive and a file each go at their own pace. The reading side runs on a thread the
// ring starts; the writing side is the caller's.
//
// Each entry takes a piece of the ring at least as large as it needs; a piece always begins on a
// 512-byte boundary of memory (VirtualAlloc's), as the transfer buffer does. The reading side
// claims room for the largest entry before it knows how large the next one is, so the ring's
// memory is its size plus that room.
//
// Water marks: the writing side begins, and begins again after the ring ran empty, only when the
// ring is filled to its start mark (or the reading has ended, or waits for room, or an entry has
// waited longest_hold); the reading side, once it found the ring full, waits until the ring is down
// to its resume mark.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// In percent of the ring's size; longest_hold_ms 0: an entry may wait for the start mark as long as
// it takes.
struct ring_marks_t {
    unsigned start_writing = 0;
    unsigned resume_reading = 100;
    unsigned longest_hold_ms = 0;
};

// How often and how long one side waited for the other.
struct ring_waits_t {
    uint64_t times = 0;
    double seconds = 0;
};

// How a run through the ring went, for the line at its end.
struct ring_report_t {
    uint64_t size = 0;                 // the ring's bytes
    uint64_t records = 0, marks = 0, bytes = 0;  // as counted by the writing side
    double seconds = 0;                // since the reading side started
    ring_waits_t reading, writing;     // the reading side for room, the writing side for entries
};

class ring_space_t {
public:
    // memory holds size + room bytes and outlives the ring.
    ring_space_t(uint8_t* memory, uint64_t size, uint32_t room, ring_marks_t marks);
    ~ring_space_t();
    ring_space_t(const ring_space_t&) = delete;
    ring_space_t& operator=(const ring_space_t&) = delete;

    // Runs read on a thread of its own; the reading has ended when it returns.
    void start(std::function<void()> read);
    // Stops both sides at once: claim and take give nothing from now on. Either side may call it.
    void stop();
    // Waits for the reading thread to end.
    void join();
    // The writing side's last word: stop, wait for the reading thread, and how the run went.
    ring_report_t end();

    // The reading side: room bytes to fill, once there is room for them; nullptr once stopped.
    uint8_t* claim();

    // The writing side: the entry taken last is done with; its piece is free again.
    void release();
    // The same, for an entry that was written: a record of length bytes, or a tape mark (0).
    void release_written(uint32_t length);

    unsigned fill_percent();
    ring_report_t report();

protected:
    struct piece_t {
        uint64_t at;
        uint64_t size;
    };
    // Under lock: the reading side published a claimed piece of which used bytes are kept.
    void published(uint32_t used);
    // Under lock: waits until an entry may be taken; false when there is none to take.
    bool wait_for_entry(std::unique_lock<std::mutex>& guard);

    std::mutex lock;

private:
    bool has_room() const;
    bool may_take() const;
    void finish();
    void free_taken();  // under lock

    std::condition_variable room_freed, entry_added;  // the reading side waits on one, the writing side on the other
    uint8_t* const memory;
    const uint64_t size;
    const uint32_t room;
    const ring_marks_t marks;
    uint64_t head = 0;            // where the next piece begins
    uint64_t filled = 0;          // bytes of the pieces in use
    std::deque<piece_t> pieces;   // in use: published, taken or not, and not yet released
    size_t waiting = 0;           // published and not yet taken
    bool taken = false;           // an entry was taken and not yet released
    bool stopped = false, finished = false;
    bool starting = true;         // the writing side waits for the start mark
    bool paused = false;          // the reading side waits for the resume mark
    bool reader_waits = false, writer_waits = false;
    ring_report_t totals;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point oldest_waiting_since;  // when the ring last got an entry to take
    std::thread reader;
};

// A ring whose entries carry what the reading side made of each record, entry_t.
template <class entry_t>
class record_ring_t : public ring_space_t {
public:
    using ring_space_t::ring_space_t;

    // The reading side: the entry for the piece claimed last, of which used bytes are kept.
    void publish(entry_t entry, uint32_t used)
    {
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back(std::move(entry));
        published(used);
    }

    // The writing side: the next entry in order; false once stopped, or when the reading has
    // ended and every entry was taken. Release it before taking the next.
    bool take(entry_t& entry)
    {
        std::unique_lock<std::mutex> guard(lock);
        if (!wait_for_entry(guard))
            return false;
        entry = std::move(entries.front());
        entries.pop_front();
        return true;
    }

private:
    std::deque<entry_t> entries;
};
