// Dump: a tape, from its beginning to the end of its recorded data, into a container file.
#pragma once

// Returns 0 or 1; with "/skip" 2 when records were skipped, with "/strict" 4 when the reading
// ended before the drive's end of data. Lower-cases device_name in place. Ends the process with status 1 when the
// dump file cannot be written. Sets copy_context.dump_file_created once the file exists.
int dump_tape(char* device_name, char* file_name);
