// brxtool check: an image's structure walked forwards and backwards, every fault with its offset.
#include <cinttypes>
#include <cstdio>

#include "brxtool/check_walk.h"
#include "brxtool/commands.h"
#include "brxtool/progress.h"

namespace {

const char help[] =
    "Usage: brxtool check IMAGE [--repair OUT] [--from FORMAT]\n"
    "Walks the image forwards, holding every length against the file's size and every link against\n"
    "the block before it, then backwards; prints each fault with its byte offset.\n"
    "  --repair OUT   write a copy in the same format that holds every whole record in order, with\n"
    "                 correct links, and say what it could not keep\n"
    "  --from FORMAT  read the image as brx, tap, e11, aws or het instead of detecting its format\n"
    "IMAGE must be a file: a pipe, which cannot be walked backwards, is refused.\n"
    "Exit status: 0 no fault, 1 faults found, 2 trouble.\n";

void walk_forward(check_walk_t& walk)
{
    switch (walk.image.format) {
    case format_t::brx:
        walk_brx(walk);
        break;
    case format_t::tap:
    case format_t::e11:
        walk_simh(walk, walk.image.format == format_t::tap);
        break;
    default:
        walk_aws(walk, walk.image.format == format_t::het);
        break;
    }
}

// From the end of the last whole block back to the start with the format's own driver.
std::string walk_backward(check_walk_t& walk)
{
    tape_t& image = walk.image;
    image.handle.position = walk.end;
    image.handle.prev_offset = walk.last_header;
    uint64_t blocks = 0;
    for (;;) {
        int32_t result = image.driver->step_record_reverse(&image.handle, image.memory, data_at, 1);
        if (result < 0)
            break;
        ++blocks;
    }
    std::string text = "backward " + std::to_string(blocks) + " blocks";
    if (image.handle.position == 0 && image.handle.last_error == 0)
        return text + " to the start";
    if (walk.faults == 0)
        ++walk.faults;  // otherwise the fault found going forwards stopped it
    return text + ", stopped at offset " + std::to_string(image.handle.position);
}

int run(const arguments_t& arguments)
{
    format_t from = format_t::unknown;
    if (!format_option(arguments, "from", from))
        return exit_trouble;
    const std::string& name = arguments.positional[0];
    tape_t image, repair;
    if (is_device_name(name)) {
        fprintf(stderr, "brxtool: check reads image files, not devices\n");
        return exit_trouble;
    }
    if (!open_tape(name, from, image, format_of_extension(name)))
        return exit_trouble;
    if (!image_seekable(&image.handle)) {
        fprintf(stderr, "brxtool: %s: check walks the image backwards too, which a pipe cannot: give a file\n",
                name.c_str());
        return exit_trouble;
    }
    check_walk_t walk{image};
    if (arguments.has("repair")) {
        if (!create_tape(arguments.value("repair"), image.format, repair))
            return exit_trouble;
        walk.repair = &repair;
    }
    walk_forward(walk);  // to the end however many faults: a repair keeps everything whole
    std::string backward = walk.failed ? "" : walk_backward(walk);
    if (walk.failed || (walk.repair != nullptr && !finish_tape(repair)))
        return exit_trouble;
    printf("%s (%s): %" PRIu64 " faults; forward %" PRIu64 " blocks to offset %" PRIu64 " of %" PRIu64 ", %s\n",
           name.c_str(), format_info(image.format).name, walk.faults, walk.blocks, walk.end, image.file_size,
           backward.c_str());
    if (walk.repair != nullptr)
        printf("repair: %s holds %" PRIu64 " records (%" PRIu64 " bytes) and %" PRIu64 " tape marks\n",
               repair.name.c_str(), repair.records, repair.bytes, repair.marks);
    return walk.faults == 0 ? exit_same : exit_different;
}

}  // namespace

const command_t check_command{"check", help, {{"repair", true}, {"from", true}}, 1, run};
