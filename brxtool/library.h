// brxtool library: what its parts share. One worker thread per drive takes tapes from one list;
// the changer's commands go one at a time under one lock; the journal records every step.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "brxtool/formats.h"
#include "brxtool/library_image.h"
#include "brxtool/tape.h"
#include "changer/changer.h"

// Exit statuses of library, as brx has them.
constexpr int library_whole = 0;      // every tape imaged whole
constexpr int library_skipped = 2;    // every tape imaged, some records skipped
constexpr int library_incomplete = 4; // a tape not imaged, or not whole, or not put back
constexpr int library_trouble = 1;    // nothing moved: options, changer, drives, OUTDIR

// The ring each drive is read through unless --buffer= says otherwise: a drive that streams at
// 300 MB/s rides out a fifth of a second of a stalling disk.
constexpr uint32_t library_buffer_mib = 64;

struct library_options_t {
    std::string changer, outdir;
    std::vector<std::pair<long, long>> slots;  // ranges of slot numbers; none: every slot
    std::map<long, std::string> drives;        // --drive N=DEVICE
    std::vector<std::string> devices;          // --devices, matched by serial number
    format_t format = format_t::brx;
    bool verify = false;
    uint32_t load_timeout = 900;  // seconds
    image_options_t image;        // --reads=, --skip, --buffer= (64 MiB unless given; 0: none)
    uint32_t block = 0;           // --block=; 0: each drive's longest
    bool strict = false;          // a tape whose reading ended before the end of its data is incomplete
    bool manifest = false;        // BARCODE.EXT.json beside each image
    std::vector<std::string> command_line;  // for the manifests
};

// partial: records skipped; incomplete: with --strict, the reading ended before the end of the data.
enum class tape_status_t { pending, imaged, partial, incomplete, kept, failed, cleaning };

struct tape_job_t {
    uint16_t slot = 0;         // element address
    std::string barcode;       // empty without one
    std::string name;          // the image's name without extension: the barcode made safe, or slot-N
    bool cleaning = false;
    tape_status_t status = tape_status_t::pending;
    int drive = -1;            // drive:N that handled it
    uint64_t records = 0, bytes = 0, skipped = 0;
    double seconds = 0;
    std::string why;           // what went wrong, or what is worth knowing
    bool left_in_drive = false;
};

struct library_drive_t {
    int number = 0;            // drive:N
    uint16_t address = 0;
    uint32_t longest = 0;      // the longest record read from it
    tape_t tape;               // the device, opened before the run
    bool out = false;          // taken out of the run
    // What the progress line shows, written by the drive's worker.
    std::mutex state_lock;
    std::string state;
    live_counts_t live;
};

struct library_t {
    library_options_t options;
    changer_t changer;
    std::mutex changer_lock;
    std::vector<element_t> elements;
    std::vector<std::unique_ptr<library_drive_t>> drives;
    std::vector<tape_job_t> jobs;  // in slot order
    std::string extension;         // ".dmp" and so on
};
