// The manifest: a JSON sidecar that says what an image holds, file by file, so that the image can
// be proven unchanged and complete later, in whatever format it is kept by then. Per tape file
// its records, bytes, runs of equal sizes, standard labels and the SHA-256 of its records' data
// concatenated (the same for the same tape in every format); the records still lost; the image's
// size and SHA-256; the drive it came from; and the run that made it. manifest.schema.json, at the
// top of the source tree, is the schema of the document manifest_json writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "copy/dump_read.h"
#include "copy/labels.h"
#include "copy/record_ring.h"
#include "copy/sha256.h"
#include "tapeio/drive_identity.h"

constexpr int manifest_version = 1;

struct manifest_run_t {
    uint64_t first = 0, last = 0;  // record numbers within the file, from 1, lost ones counted
    uint32_t bytes = 0;
};

struct manifest_label_t {
    uint64_t record = 0;
    label_t label;
};

struct manifest_file_t {
    uint64_t records = 0, bytes = 0;  // lost records not counted
    bool mark = false;                // a tape mark ends it
    std::vector<manifest_run_t> runs;
    std::vector<manifest_label_t> labels;
    std::string sha256;               // set when the file ends
};

struct manifest_lost_t {
    uint64_t block = 0, file = 0, record = 0;
    bool sense_known = false;
    dump_sense_t sense;
    uint32_t bytes = 0;  // what the image holds of it (a bad record with data), left out of the digest
};

// Takes a tape's blocks in order.
class manifest_content_t {
public:
    void add_record(const uint8_t* data, uint32_t length);
    void add_mark();
    void add_lost(const dump_sense_t* sense, uint32_t bytes);
    // The end of the data: the last file, if it has anything, ends without a mark.
    void finish();

    std::vector<manifest_file_t> files;
    std::vector<manifest_lost_t> lost;
    uint64_t records = 0, bytes = 0, marks = 0;

private:
    manifest_file_t& current();
    void end_file(bool mark);

    sha256_t digest;
    bool file_open = false;
    uint64_t blocks = 0, record = 0;
};

// Where the image came from and the run that made the manifest.
struct manifest_source_t {
    std::string image, format;
    uint64_t size = 0;
    std::string sha256;
    std::string device;       // empty when the image was not read from a device in this run
    drive_identity_t drive;
    std::string program;      // "brx" or "brxtool"
    std::vector<std::string> command_line;
    int64_t started = 0, ended = 0;  // seconds since 1970-01-01 00:00 UTC
    const ring_report_t* feed = nullptr;  // "/buffer=": how the drive was fed through the ring
};

// The document, ending in a line break.
std::string manifest_json(const manifest_content_t& content, const manifest_source_t& source);
// Seconds since 1970-01-01 00:00 UTC, and such a time as "2024-03-01T12:00:00Z".
int64_t manifest_clock();
std::string utc_text(int64_t seconds);
// Writes text to the file at path ("-": standard output). false, with the system's code in
// GetLastError(), when it could not.
bool write_manifest(const std::string& path, const std::string& text);
