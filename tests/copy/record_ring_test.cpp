// The ring between a reading and a writing thread: every entry arrives whole and in order however
// the two sides race, the water marks hold, and either side's stop ends the other's wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "copy/record_ring.h"

namespace {

struct entry_t { uint32_t number = 0, length = 0; uint8_t* data = nullptr; };

using ring_t = record_ring_t<entry_t>;

constexpr uint32_t room = 3000;  // no multiple of the pieces' 512 bytes

uint32_t length_of(uint32_t number) { return number * 7919 % (room + 1); }  // 0 to room, at random

// Publishes count entries, each its number's length filled with its number's low byte; notes the
// fill after every claim that had to wait for room.
void produce(ring_t& ring, uint32_t count, std::vector<unsigned>& fill_after_wait)
{
    for (uint32_t number = 0; number < count; ++number) {
        const uint64_t waits = ring.report().reading.times;
        uint8_t* piece = ring.claim();
        if (piece == nullptr)
            return;
        if (ring.report().reading.times != waits)
            fill_after_wait.push_back(ring.fill_percent());
        std::memset(piece, static_cast<int>(number), length_of(number));
        ring.publish({number, length_of(number), piece}, length_of(number));
    }
}

}  // namespace

TEST(record_ring, entries_arrive_whole_and_in_order_within_the_water_marks)
{
    const unsigned marks[][2] = {{0, 100}, {50, 25}, {75, 100}, {100, 0}};
    for (const auto& mark : marks) {
        std::vector<uint8_t> memory(64 * 1024 + room);
        ring_t ring(memory.data(), 64 * 1024, room, {mark[0], mark[1], 0});
        std::vector<unsigned> fill_after_wait;
        ring.start([&] { produce(ring, 3000, fill_after_wait); });
        entry_t entry;
        unsigned first_fill = 0;
        for (uint32_t expected = 0; ring.take(entry); ++expected) {
            if (expected == 0) {  // the writing side began at its mark, or when no room was left (94% or more)
                first_fill = ring.fill_percent();
                EXPECT_GE(first_fill, std::min(mark[0], 90u)) << mark[0];
            }
            ASSERT_EQ(entry.number, expected);
            ASSERT_EQ(entry.length, length_of(expected));
            EXPECT_EQ(std::vector<uint8_t>(entry.data, entry.data + entry.length),
                      std::vector<uint8_t>(entry.length, static_cast<uint8_t>(expected)));
            ring.release_written(entry.length);
        }
        ring.join();
        const ring_report_t report = ring.report();
        EXPECT_EQ(report.records + report.marks, 3000u);
        if (mark[0] == 100) {  // a piece across the ring's end may fill it; else the reading side waits for room
            EXPECT_TRUE(first_fill == 100 || report.reading.times > 0) << first_fill;
        }
        for (const unsigned fill : fill_after_wait)
            EXPECT_LE(fill, mark[1]) << mark[0] << "/" << mark[1];
    }
}

TEST(record_ring, a_stop_from_either_side_or_an_entry_held_too_long_ends_a_wait)
{
    std::vector<uint8_t> memory(8192 + room);
    {  // the writing side stops a reading side that waits for room
        ring_t ring(memory.data(), 8192, room, {0, 100, 0});
        std::vector<unsigned> unused;
        ring.start([&] { produce(ring, 1000000, unused); });
        entry_t entry;
        ASSERT_TRUE(ring.take(entry));
        ring.stop();
        ring.join();  // would hang if the reading went on waiting
        EXPECT_FALSE(ring.take(entry));
    }
    {  // the reading side stops a writing side that waits for its start mark
        ring_t ring(memory.data(), 8192, room, {100, 100, 0});
        ring.start([&] {
            ring.publish({0, 0, ring.claim()}, 0);
            ring.stop();
        });
        entry_t entry;
        EXPECT_FALSE(ring.take(entry));
        ring.join();
    }
    {  // an entry that waited 20 ms goes out, start mark or not, while the reading goes on
        ring_t ring(memory.data(), 8192, room, {100, 100, 20});
        ring.start([&] {
            ring.publish({7, 0, ring.claim()}, 0);
            std::this_thread::sleep_for(std::chrono::seconds(2));
        });
        const auto start = std::chrono::steady_clock::now();
        entry_t entry;
        EXPECT_TRUE(ring.take(entry));
        EXPECT_EQ(entry.number, 7u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        ring.stop();
    }
}
