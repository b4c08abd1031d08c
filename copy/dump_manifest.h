// "/manifest": when a dump ends, the dump file is read back with its list of skipped records and
// its manifest (copy/manifest.h) is written beside it, as FILE.json.
#pragma once

#include <cstdint>
#include <string>

#include "copy/dump_read.h"
#include "copy/record_ring.h"

// status is dump's; it is returned unless the manifest could not be written: then 1, with the
// dump file kept. A failed dump (1) gets no manifest. The drive, still open, is asked who it is.
// feed: how a ring fed the drive ("/buffer="), or nullptr.
int finish_dump_manifest(dump_reader_t& reader, const char* device_name, const char* file_name,
                         const std::string& list, int status, const ring_report_t* feed = nullptr);
