// The status and sense ladder that turns a completed pass-through call into a result code.
#pragma once

#include <cstdint>

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_request.h"


// The fixed-format fields the drivers look at.
struct sense_view_t {
    uint8_t key = 0;
    bool valid = false;
    bool filemark = false;
    bool eom = false;
    bool ili = false;
    int32_t information = 0;  // residue: requested minus actual
};

sense_view_t read_sense(const uint8_t* sense);
// Response codes 0x70 to 0x7F pass; bytes 2 to 6 are read in the fixed-format places all the same.
bool sense_format_accepted(const uint8_t* sense);

enum class call_outcome_t { call_failed, good, bad_status, check_condition };

// Sends the block and sorts the answer onto rungs 1 to 3 (CHECK CONDITION goes on to the sense).
call_outcome_t send_and_classify(tape_io_handle_t* handle, spti_request_t* request);

// What each rung and sense key fails with, for one family of commands.
struct failure_codes_t {
    int32_t call_failed;
    int32_t bad_status;
    int32_t sense_rejected;
    int32_t no_sense;
    int32_t recovered_error;
    int32_t medium_error;
    int32_t volume_overflow;
    int32_t other_key;
};

int32_t key_failure(const failure_codes_t& codes, uint8_t key);

// Stores the thread's last error in the handle and returns code.
int32_t fail(tape_io_handle_t* handle, int32_t code);

enum class ladder_step_t { failed, good, sense };

struct ladder_t {
    ladder_step_t step;
    int32_t code;        // when failed; last_error is then set
    sense_view_t sense;  // when sense: accepted fixed-format data after CHECK CONDITION
};

// Rungs 1 to 4 of the ladder; the caller decides rungs 5 and 6 from the sense.
ladder_t climb_ladder(tape_io_handle_t* handle, spti_request_t* request, const failure_codes_t& codes);
