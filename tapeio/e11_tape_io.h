// The E11 tape image: a SIMH image whose odd-length records have no pad byte.
#pragma once

#include "tapeio/simh_tap_tape_io.h"

class e11_tape_io_t : public simh_tap_tape_io_t {
protected:
    uint32_t padding(uint32_t length) override;
};
