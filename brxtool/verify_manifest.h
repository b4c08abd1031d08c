// brxtool verify --manifest: an image, in any format, against the manifest written for it.
#pragma once

#include <string>

#include "brxtool/formats.h"

// 0 when every file's digest matches (and, for an image in the manifest's format, the image's own
// size and SHA-256), 1 naming the first file that differs, 2 trouble.
int verify_manifest(const std::string& manifest, const std::string& image, format_t from);
