// The options of a virtual tape: "PATH?opt&opt...", so tests and users can reproduce real faults.
// PATH ends at the first '?'; options are joined by '&'; numbers are decimal or 0x-hexadecimal.
//   bad=K, bad=K:N   block K (from 0, records and marks alike) answers READ with MEDIUM ERROR 11/00,
//                    N times or always; the tape stays in front of it. May be given several times.
//   heal=PATH        the failed reads of each bad=K:N are counted in PATH across opens of the medium,
//                    so that a later run (another pass, another day) finds the block readable once N
//                    reads in all have failed; PATH holds one line "block K failed F" per such block
//   minblock=M       READ BLOCK LIMITS minimum (default 1, at most 65535); WRITE refuses shorter records
//   maxblock=M       READ BLOCK LIMITS maximum (default 16777215); WRITE refuses longer records
//   bufmode=B        buffered-mode field before any MODE SELECT (0-7, default 1)
//   speed=S          speed field before any MODE SELECT (0-15, default 0)
//   capacity=BYTES   medium file size, headers included, that no write may pass (VOLUME OVERFLOW, EOM);
//                    by default the size at open and its file system's free space, less max(1%, 64 MiB)
//   ew=BYTES         writes ending in the last BYTES before capacity report NO SENSE, EOM (needs capacity)
//   attention=K      the first K commands (INQUIRY not counted) answer UNIT ATTENTION 28/00
//   notready         every command but INQUIRY and REQUEST SENSE answers NOT READY 3A/00
//   protect          writes answer DATA PROTECT 27/00; MODE SENSE sets WP; the file is opened read-only
//   trace=PATH       appends one line per command (format in vtape_trace.cpp)
//   devconfig8=V     Device Configuration page byte 8 before any MODE SELECT (default 0x40: BIS)
//   changeable8=V    the bits of that byte MODE SELECT may change (default 0x1C: AVC, SOCF)
//   pastbad          a READ that fails on a bad block leaves the tape after it, not in front of it
//   zeroposition     READ POSITION answers block 0 wherever the tape is, as some targets do
//   nolocate         LOCATE answers ILLEGAL REQUEST 20/00, as some targets do
//   delay=US         every command takes this many microseconds longer (a slow drive)
//   maxtransfer=N    the transport carries at most N data bytes per command; longer ones fail the call
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

struct vtape_bad_block_t {
    uint32_t index = 0;      // block index from the beginning, records and marks counted alike
    uint32_t failures = 0;   // reads that still fail; ignored when always
    bool always = true;
};

struct vtape_options_t {
    std::string medium_path;
    std::vector<vtape_bad_block_t> bad_blocks;
    uint32_t min_block = 1;
    uint32_t max_block = 0xFFFFFF;
    uint8_t buffered_mode = 1;
    uint8_t speed = 0;
    uint64_t capacity = 0;       // medium file bytes, headers included; 0: the default
    uint64_t early_warning = 0;  // bytes before capacity where writes report EOM
    uint32_t attention = 0;      // commands that answer UNIT ATTENTION first
    bool not_ready = false;
    bool write_protected = false;
    std::string trace_path;      // empty: no trace
    uint8_t devconfig8 = 0x40;   // Device Configuration page byte 8 before any MODE SELECT (BIS)
    uint8_t changeable8 = 0x1C;  // ...and which of its bits MODE SELECT may change (AVC, SOCF)
    bool past_bad = false;       // a failed READ of a bad block moves past it
    bool zero_position = false;  // READ POSITION says block 0 always
    bool no_locate = false;      // LOCATE is refused
    std::string heal_path;       // empty: failures are counted per open
    uint32_t delay_us = 0;       // added to every command
    uint32_t max_transfer = 0;   // data bytes per command; 0: any
};

// Splits "PATH?OPTIONS" and reads the options. Returns NO_ERROR, or ERROR_INVALID_PARAMETER with
// the reason in why (when given), e.g. "unknown option 'colour=red'".
DWORD parse_vtape_name(const char* name, vtape_options_t& options, std::string* why);
