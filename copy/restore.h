// Restore: a container file written back onto a tape with the program's own SCSI requests.
#pragma once

// Returns 0 or 1: 1 for a failure before the first record and for a record too long for the
// transfer buffer; 0 once the record loop has begun, however else it ends (with "/strict", 4
// when it ended before the end of the file). Lower-cases
// device_name in place. Ends the process with status 1 when the container file cannot be opened.
int restore_tape(char* file_name, char* device_name);
