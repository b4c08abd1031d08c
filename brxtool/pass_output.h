// An image written from passes over a tape (merge, retry): records and marks as they are; a record
// still lost as a bad record where the format marks them (tap, e11), else as a line of the list
// OUT.bad. Both are written under temporary names (OUT.partial, OUT.bad.partial) and put in place
// only when complete, so that an OUT that exists is whole and its list goes with it.
#pragma once

#include <string>

#include "brxtool/pass.h"
#include "copy/bad_list.h"

struct pass_output_t {
    std::string name;  // OUT
    tape_t tape;       // writing OUT.partial
    bad_list_t list;   // made at the first lost record, for formats that cannot mark one
    skip_matcher_t walk;  // counts blocks, files and records as the list names them
    uint64_t lost = 0;
};

// Where OUT and its list are written until they are complete: NAME.partial.
std::string partial_name(const std::string& name);
bool exists(const std::string& name);  // a file, a directory or a device of that name

// The message target brxtool's lists report through.
message_target_t brxtool_messages();

bool create_output(const std::string& name, format_t format, pass_output_t& out);
// Writes the block (a record, a mark, or a lost record with the sense its list gave).
bool put_block(pass_output_t& out, const pass_block_t& block);
// Ends the image and its list and renames both into place, replacing an OUT that exists; a list
// OUT.bad left from before is removed when nothing is lost. keep_previous: an OUT that exists, and
// its list, become OUT.prev and OUT.prev.bad first.
bool finish_output(pass_output_t& out, bool keep_previous);
// The same in two steps, so that the complete files can be read before they are put in place:
// the image and its list ended and closed, then renamed.
bool end_output(pass_output_t& out);
bool place_output(pass_output_t& out, bool keep_previous);
// After a failure: closes and removes the temporary files.
void abandon_output(pass_output_t& out);
// "OUT: 4 files, 9 records, 26800 bytes, 4 tape marks, 1 record lost (listed in OUT.bad)".
std::string output_summary(const pass_output_t& out);
