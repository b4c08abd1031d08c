// SCSI driver, variant 2 (the active driver): setup also rebuilds the Device Configuration page.
#pragma once

#include "tapeio/spti_tape_io.h"

class s2pti_tape_io_t : public spti_tape_io_t {
public:
    int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
};
