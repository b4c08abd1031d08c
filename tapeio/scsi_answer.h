// One SCSI command to a changer or a drive, its outcome sorted by the tape driver's status and
// sense ladder, with the additional sense code that a changer's decisions rest on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tapeio/tape_io_handle.h"

enum class answer_kind_t { good, sense, failed };

struct scsi_answer_t {
    answer_kind_t kind = answer_kind_t::failed;
    uint8_t key = 0, asc = 0, ascq = 0;  // sense: after CHECK CONDITION
    uint32_t system_error = 0;           // failed: the platform's reason; 0 for a bad status byte
    uint8_t status = 0;                  // failed: the status byte when the call itself worked
    uint32_t transferred = 0;            // good: the data-in bytes that arrived

    bool good() const { return kind == answer_kind_t::good; }
    bool has_sense(uint8_t sense_key, uint8_t code, uint8_t qualifier) const
    {
        return kind == answer_kind_t::sense && key == sense_key && asc == code && ascq == qualifier;
    }
};

// The bytes of one command. data is the caller's: it need not lie in buffer, whose first 512
// bytes hold the request block and, when the device gives none with its status, the sense data
// that REQUEST SENSE fetches.
struct scsi_request_t {
    const uint8_t* cdb;
    uint8_t cdb_length;
    uint8_t direction;  // SCSI_IOCTL_DATA_IN or SCSI_IOCTL_DATA_OUT (with length 0: no data)
    uint8_t* data;
    uint32_t length;
    uint32_t timeout;  // seconds
};

scsi_answer_t run_scsi(tape_io_handle_t* handle, uint8_t* buffer, const scsi_request_t& request);

// An ASCII field of a reply (a vendor, a serial number, a volume tag) without the spaces and NULs
// that pad it.
std::string scsi_text(const uint8_t* bytes, size_t length);
