// Foreign tape images made from records by the formats' rules, apart from the program's drivers,
// for the image and detection harnesses.
#pragma once

#include "fuzz/fuzz_support_posix.h"

enum class fuzz_format_t { tap, e11, aws, het };

// The records (an empty one is a tape mark) as an image: AWS and HET cut into chunks of at most
// chunk_size bytes; HET compresses each record with method (1 zlib, 2 bzip2, at level 4) and
// keeps it so when that is shorter.
bytes_t foreign_image(fuzz_format_t format, const std::vector<bytes_t>& records, uint32_t chunk_size, int method);
