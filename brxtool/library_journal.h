// OUTDIR/library.journal: one line per step of the run, appended and flushed to the disk before
// the next step, so that a run cut off at any moment (kill -9, a power cut) can be resumed.
//   load NAME slot S drive D        about to move the tape from slot S to drive D (addresses)
//   loaded NAME slot S drive D      the move is done
//   imaged NAME file F records R bytes B skipped K early E list L manifest M size Z sha256 H
//       (E 1: the reading ended before the end of the data; L 1: F.bad lists skipped records;
//        M 1: F.json was written)
//   failed NAME WHY...
//   unload NAME drive D slot S      about to move the tape back
//   returned NAME slot S
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"

struct journal_image_t {
    std::string file;
    uint64_t size = 0;
    std::string sha256;
    uint64_t records = 0, bytes = 0, skipped = 0;
    bool early = false, list = false, manifest = false;
};

// What earlier runs recorded, for each name.
struct journal_history_t {
    std::map<std::string, journal_image_t> images;  // the last "imaged" line of each name
    std::map<std::string, uint16_t> slots;          // the slot each name was last taken from
    std::map<std::string, bool> known;              // every name that has a line
};

class journal_t {
public:
    ~journal_t();
    // Opens (or creates) the journal without sharing it, so that two runs cannot write to one
    // OUTDIR, and reads what earlier runs wrote. false with GetLastError() when it cannot.
    bool open(const std::string& path);
    // Appends one line and flushes it to the disk; false when that fails. Any thread.
    bool write(const std::string& line);

    journal_history_t history;

private:
    void read_history(const std::string& text);

    HANDLE file = INVALID_HANDLE_VALUE;
    std::mutex lock;
};

// One line as the journal holds it, for tests and the reader.
void apply_journal_line(const std::string& line, journal_history_t& history);
