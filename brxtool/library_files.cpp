#include "brxtool/library_files.h"

#include "brxtool/arguments.h"
#include "brxtool/image_manifest.h"
#include "copy/created_file.h"
#include "copy/sha256.h"

namespace {

// The manifest beside the image, written under a temporary name and renamed; written holds the
// image's size and SHA-256 as the manifest does.
bool write_manifest_of(const std::string& path, format_t format, const manifest_source_t& source,
                       manifest_source_t& written, std::string& why)
{
    const std::string json = path + ".json", partial = partial_name(json);
    if (write_image_manifest(path, format, "", partial, source, false, &written) == exit_same &&
        MoveFileExA(partial.c_str(), json.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    why = "cannot write " + json;
    remove_created_file(partial.c_str());
    return false;
}

}  // namespace

bool already_complete(const library_t& library, const journal_history_t& history, tape_job_t& job,
                      const std::string& file, const std::string& path)
{
    auto found = history.images.find(job.name);
    if (found == history.images.end() || found->second.file != file || !exists(path))
        return false;
    const journal_image_t& image = found->second;
    if ((image.list && !exists(path + ".bad")) || (library.options.manifest && !(image.manifest && exists(path + ".json"))) ||
        (library.options.strict && image.early))
        return false;
    std::string digest;
    uint64_t size = 0;
    if (!sha256_of_file(path, digest, size) || size != image.size || digest != image.sha256)
        return false;
    job.status = tape_status_t::kept;
    job.records = image.records;
    job.bytes = image.bytes;
    job.skipped = image.skipped;
    job.why = image.early ? "imaged by an earlier run, whose reading ended before the end of the data"
                          : "imaged by an earlier run";
    return true;
}

bool names_free(const journal_history_t& history, const tape_job_t& job, const std::string& path, std::string& why)
{
    const bool ours = history.known.count(job.name) != 0;
    for (const std::string& name : {path, partial_name(path), path + ".bad", partial_name(path + ".bad"), path + ".json"})
        if (exists(name) && !ours) {
            why = name + " exists and the journal does not know it; it is left alone";
            return false;
        }
    return true;
}

bool keep_image(library_t& library, pass_output_t& out, const image_result_t& result, tape_job_t& job,
                journal_t& journal, manifest_source_t& source, std::string& why)
{
    const std::string& path = out.name;
    if (!place_output(out, false)) {
        why = "cannot keep " + path;
        return false;
    }
    manifest_source_t written;  // the image's size and SHA-256: its manifest's, or read here
    if (library.options.manifest) {
        if (!write_manifest_of(path, library.options.format, source, written, why))
            return false;
    } else {
        remove_created_file((path + ".json").c_str());
        if (!sha256_of_file(path, written.sha256, written.size)) {
            why = "cannot read " + path + ": " + error_text(GetLastError());
            return false;
        }
    }
    // The digest last: a line cut off by a crash can then never pass for a complete image's.
    const auto flag = [](bool set) { return set ? std::string(" 1") : std::string(" 0"); };
    return journal.write("imaged " + job.name + " file " + job.name + library.extension + " records " +
                         std::to_string(job.records) + " bytes " + std::to_string(job.bytes) + " skipped " +
                         std::to_string(job.skipped) + " early" + flag(result.ended_early) + " list" +
                         flag(out.list.created) + " manifest" + flag(library.options.manifest) + " size " +
                         std::to_string(written.size) + " sha256 " + written.sha256);
}
