// Manifests of images: read an image (with its list) into a manifest's content, and write the
// manifest of an image that a command has just made or was given.
#pragma once

#include <string>

#include "brxtool/pass.h"
#include "copy/manifest.h"

// Reads the whole pass into content, with a progress line on a terminal unless show_progress is
// false (library mode draws its own). Returns 0, or the exit status of a failure (reported).
int read_manifest_content(pass_t& pass, manifest_content_t& content, bool show_progress = true);

// The manifest of the image file name, with its list (list_name, or NAME.bad when present),
// written to out ("-": standard output). source brings what the caller knows (the device, the
// command line, when it started); the rest is read here, and given back in written (the image's
// size and SHA-256 among it) when asked. Returns the exit status.
int write_image_manifest(const std::string& name, format_t from, const std::string& list_name, const std::string& out,
                         manifest_source_t source, bool show_progress = true, manifest_source_t* written = nullptr);

// What a brxtool command puts in the manifests it writes: itself and when it started.
manifest_source_t brxtool_source(const std::vector<std::string>& command_line);
