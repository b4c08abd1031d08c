#include "brxtool/image_manifest.h"

#include <cstdio>

#include "brxtool/arguments.h"
#include "brxtool/progress.h"
#include "copy/file_identity.h"

int read_manifest_content(pass_t& pass, manifest_content_t& content, bool show_progress)
{
    progress_t progress("manifest", show_progress);
    for (;;) {
        const pass_block_t block = next_block(pass);
        switch (block.kind) {
        case pass_kind_t::failed:
            return block.status;
        case pass_kind_t::end:
            content.finish();
            return exit_same;
        case pass_kind_t::mark:
            content.add_mark();
            break;
        case pass_kind_t::lost:
            content.add_lost(block.listed != nullptr ? &block.listed->sense : nullptr, block.length);
            break;
        case pass_kind_t::record:
            content.add_record(block.data, block.length);
            break;
        }
        progress.update(pass.tape.bytes, pass.tape.records);
    }
}

int write_image_manifest(const std::string& name, format_t from, const std::string& list_name, const std::string& out,
                         manifest_source_t source, bool show_progress, manifest_source_t* written)
{
    if (is_standard_stream(name) || is_device_name(name)) {
        fprintf(stderr, "brxtool: manifest: give an image file, not %s\n", name.c_str());
        return exit_trouble;
    }
    pass_t pass;
    manifest_content_t content;
    if (!open_pass(name, from, list_name, pass))
        return exit_trouble;
    const file_identity_t out_file = identity_of(out.c_str());
    if (same_file(out_file, identity_of(pass.tape.handle.os_handle)) ||
        (!pass.list.empty() && same_file(out_file, identity_of(pass.list.c_str())))) {
        fprintf(stderr, "brxtool: manifest: %s is the image or its list\n", out.c_str());
        return exit_trouble;
    }
    if (const int status = read_manifest_content(pass, content, show_progress); status != exit_same)
        return status;
    if (!sha256_of_file(name, source.sha256, source.size)) {
        fprintf(stderr, "brxtool: %s: %s\n", name.c_str(), error_text(GetLastError()).c_str());
        return exit_trouble;
    }
    source.image = name;
    source.format = format_info(pass.tape.format).name;
    source.ended = manifest_clock();
    if (!write_manifest(out, manifest_json(content, source))) {
        fprintf(stderr, "brxtool: %s: %s\n", out.c_str(), error_text(GetLastError()).c_str());
        return exit_trouble;
    }
    if (written != nullptr)
        *written = source;
    return exit_same;
}

manifest_source_t brxtool_source(const std::vector<std::string>& command_line)
{
    manifest_source_t source;
    source.program = "brxtool";
    source.command_line = command_line;
    source.started = manifest_clock();
    return source;
}
