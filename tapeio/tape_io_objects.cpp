// One translation unit, so the construction order is the order of definition.
#include "tapeio/tape_io_objects.h"

tape_io_handle_t tape_handle;
brx_file_tape_io_t brx_file_tape_io;
physical_tape_io_t physical_tape_io;
s1pti_tape_io_t s1pti_tape_io;
s2pti_tape_io_t s2pti_tape_io;

tape_io_t& active_tape_io = s2pti_tape_io;
