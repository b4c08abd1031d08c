// An image's files in OUTDIR: BARCODE.EXT, its list BARCODE.EXT.bad and its manifest
// BARCODE.EXT.json, as the journal knows them: complete from an earlier run, free to be written,
// or put in place with their line in the journal.
#pragma once

#include <string>

#include "brxtool/library.h"
#include "brxtool/library_journal.h"
#include "copy/manifest.h"

// A complete image from an earlier run (the job is then kept): the journal's size and SHA-256
// match the file at path, and its list and manifest are there; a manifest asked for now and
// missing, or with --strict a reading that ended early, has the tape imaged again.
bool already_complete(const library_t& library, const journal_history_t& history, tape_job_t& job,
                      const std::string& file, const std::string& path);

// Files of those names that no run of this journal wrote are a user's: never overwritten. false,
// with why, when one is there.
bool names_free(const journal_history_t& history, const tape_job_t& job, const std::string& path, std::string& why);

// The ended image (and list) of out under their own names, the manifest beside them when asked
// for (an earlier image's goes otherwise), then their line in the journal. false, with why.
bool keep_image(library_t& library, pass_output_t& out, const image_result_t& result, tape_job_t& job,
                journal_t& journal, manifest_source_t& source, std::string& why);
