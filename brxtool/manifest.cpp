// brxtool manifest: the JSON sidecar of an image.
#include "brxtool/commands.h"
#include "brxtool/image_manifest.h"

namespace {

const char help[] =
    "Usage: brxtool manifest IMAGE [--out FILE] [--from FORMAT] [--bad FILE]\n"
    "Writes IMAGE.json: the image's format, size and SHA-256; per tape file its records, bytes,\n"
    "runs of record sizes, standard labels and the SHA-256 of its records' data (the same for the\n"
    "same tape in every format); and the records IMAGE lost (from IMAGE.bad, or marked bad).\n"
    "brxtool verify --manifest IMAGE.json IMAGE checks an image against it later.\n"
    "  --out FILE     write it there instead; - writes standard output\n"
    "  --from FORMAT  read IMAGE as brx, tap, e11, aws or het instead of detecting its format\n"
    "  --bad FILE     the list of lost records, instead of IMAGE.bad\n"
    "Exit status: 0 written, 1 damage found in IMAGE, 2 trouble.\n";

int run(const arguments_t& arguments)
{
    format_t from = format_t::unknown;
    if (!format_option(arguments, "from", from))
        return exit_trouble;
    const std::string& image = arguments.positional[0];
    const std::string out = arguments.has("out") ? arguments.value("out") : image + ".json";
    return write_image_manifest(image, from, arguments.value("bad"), out, brxtool_source(arguments.command_line));
}

}  // namespace

const command_t manifest_command{"manifest", help, {{"out", true}, {"from", true}, {"bad", true}}, 1, run};
