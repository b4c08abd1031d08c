// SCSI driver, variant 1: setup edits only the header and block descriptors and never fails.
#pragma once

#include "tapeio/spti_tape_io.h"

class s1pti_tape_io_t : public spti_tape_io_t {
public:
    int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
};
