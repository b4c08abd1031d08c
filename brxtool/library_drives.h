// Which device is which drive of the library: --drive N=DEVICE, or the serial numbers of the
// --devices matched against the identifiers the changer gives for its drives.
#pragma once

#include <string>
#include <vector>

#include "brxtool/library.h"
#include "tapeio/drive_identity.h"

// For each device, the index of the drive whose identifier names it, or -1. An identifier names a
// device when it is its serial number, ends with it, or is vendor, product and serial in the
// INQUIRY layout; one cut short names every device it begins, and counts once the others are taken.
std::vector<int> match_drives(const std::vector<element_t>& drives, const std::vector<drive_identity_t>& devices);

// Opens the drives of the run into library.drives; prints why not.
bool open_drives(library_t& library);
