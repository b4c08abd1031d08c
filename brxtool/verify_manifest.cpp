#include "brxtool/verify_manifest.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "brxtool/arguments.h"
#include "brxtool/image_manifest.h"
#include "brxtool/json_read.h"

namespace {

struct expected_file_t {
    uint64_t records = 0, bytes = 0;
    bool mark = false;
    std::string sha256;
};

std::string counts(uint64_t records, uint64_t bytes, bool mark)
{
    return std::to_string(records) + " records, " + std::to_string(bytes) + " bytes" + (mark ? ", a tape mark" : "");
}

bool read_expected(const json_value_t& document, std::vector<expected_file_t>& files, std::string& why)
{
    uint64_t version = 0;
    if (!document["version"].whole(version) || version != manifest_version ||
        document["files"].kind != json_value_t::kind_t::array) {
        why = "not a manifest of version " + std::to_string(manifest_version);
        return false;
    }
    for (const json_value_t& file : document["files"].items) {
        expected_file_t expected;
        expected.mark = file["tape_mark"].boolean;
        expected.sha256 = file["sha256"].text;
        if (!file["records"].whole(expected.records) || !file["bytes"].whole(expected.bytes) ||
            expected.sha256.size() != 64) {
            why = "file " + std::to_string(files.size()) + " has no records, bytes and sha256";
            return false;
        }
        files.push_back(expected);
    }
    return true;
}

bool load(const std::string& name, json_value_t& document, std::vector<expected_file_t>& files)
{
    std::ifstream stream(name, std::ios::binary);
    std::stringstream text;
    text << stream.rdbuf();
    std::string why;
    if (!stream)
        why = "cannot be read";
    else if (parse_json(text.str(), document, why))
        read_expected(document, files, why);
    if (why.empty())
        return true;
    fprintf(stderr, "brxtool: %s: %s\n", name.c_str(), why.c_str());
    return false;
}

// The first file that differs, or "".
std::string first_difference(const std::vector<expected_file_t>& expected, const manifest_content_t& found)
{
    for (size_t i = 0; i < std::max(expected.size(), found.files.size()); ++i) {
        const std::string file = "file " + std::to_string(i) + ": ";
        if (i >= found.files.size())
            return file + "the image ends before it";
        const manifest_file_t& has = found.files[i];
        if (i >= expected.size())
            return file + "not in the manifest (" + counts(has.records, has.bytes, has.mark) + ")";
        const expected_file_t& wants = expected[i];
        if (has.records != wants.records || has.bytes != wants.bytes || has.mark != wants.mark)
            return file + counts(has.records, has.bytes, has.mark) + ", the manifest says " +
                   counts(wants.records, wants.bytes, wants.mark);
        if (has.sha256 != wants.sha256)
            return file + "the SHA-256 of its records is " + has.sha256 + ", the manifest says " + wants.sha256;
    }
    return "";
}

// The image's own bytes, when it is kept in the manifest's format.
std::string image_difference(const json_value_t& image, const pass_t& pass)
{
    if (image["format"].text != format_info(pass.tape.format).name || pass.tape.standard)
        return "";
    std::string digest;
    uint64_t size = 0, expected_size = 0;
    if (!sha256_of_file(pass.tape.name, digest, size))
        return "its SHA-256 cannot be read: " + error_text(GetLastError());
    if (image["size"].whole(expected_size) && expected_size == size && image["sha256"].text == digest)
        return "";
    return "its files match, but the image is " + std::to_string(size) + " bytes with SHA-256 " + digest +
           ", the manifest says " + std::to_string(expected_size) + " bytes with " + image["sha256"].text;
}

}  // namespace

int verify_manifest(const std::string& manifest, const std::string& image, format_t from)
{
    json_value_t document;
    std::vector<expected_file_t> expected;
    if (!load(manifest, document, expected))
        return exit_trouble;
    pass_t pass;
    manifest_content_t found;
    if (!open_pass(image, from, "", pass))
        return exit_trouble;
    if (const int status = read_manifest_content(pass, found); status != exit_same)
        return status;
    std::string difference = first_difference(expected, found);
    if (difference.empty())
        difference = image_difference(document["image"], pass);
    if (!difference.empty()) {
        printf("%s differs from %s: %s\n", image.c_str(), manifest.c_str(), difference.c_str());
        return exit_different;
    }
    printf("%s matches %s: %zu files, %" PRIu64 " records, %" PRIu64 " bytes, %zu lost records\n", image.c_str(),
           manifest.c_str(), found.files.size(), found.records, found.bytes, found.lost.size());
    return exit_same;
}
