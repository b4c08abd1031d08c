// The process-wide handle record and driver objects, built before main in this order.
#pragma once

#include "tapeio/brx_file_tape_io.h"
#include "tapeio/physical_tape_io.h"
#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tapeio/tape_io.h"
#include "tapeio/tape_io_handle.h"

extern tape_io_handle_t tape_handle;
extern brx_file_tape_io_t brx_file_tape_io;
extern physical_tape_io_t physical_tape_io;
extern s1pti_tape_io_t s1pti_tape_io;
extern s2pti_tape_io_t s2pti_tape_io;
// Dump reaches the tape only through this one: the SCSI driver, variant 2.
extern tape_io_t& active_tape_io;
