// brxtool library: every tape of a tape library imaged unattended, drives in parallel, resumable.
#include <cstdio>
#include <cstdlib>

#include "brxtool/changer_text.h"
#include "brxtool/commands.h"
#include "brxtool/library_journal.h"
#include "brxtool/library_plan.h"
#include "brxtool/library_progress.h"
#include "brxtool/library_summary.h"
#include "brxtool/library_worker.h"
#include "brxtool/library_drives.h"
#include "copy/copy_context.h"

namespace {

const char help[] =
    "Usage: brxtool library CHANGER OUTDIR [--drive N=DEVICE]... [--devices DEV,DEV,...]\n"
    "                       [--slots 3-40,45] [--to FORMAT] [--verify] [--load-timeout SECONDS]\n"
    "                       [--block=BYTES] [--reads=N] [--skip] [--strict] [--buffer=MiB] [--manifest]\n"
    "Images every tape in the changer's slots into OUTDIR/BARCODE.EXT (slot-N.EXT without a barcode),\n"
    "one tape per drive at a time, and puts each back where it came from. Cleaning cartridges\n"
    "(barcode CLN..., or so marked by the changer) are passed over. OUTDIR/library.journal records\n"
    "every step: run the same command again after a crash and it puts back what a drive still holds,\n"
    "keeps every image that is complete and images the rest. At the end a table on standard output\n"
    "and OUTDIR/library.json tell, per tape: barcode, slot, drive, status, records, bytes, skipped\n"
    "records and seconds.\n"
    "CHANGER is \\\\.\\changerN; DEVICE \\\\.\\tapeN or \\\\.\\scsiN:B:T (on Linux also a device string:\n"
    "/dev/sgN, /dev/nstN, iscsi://HOST[:PORT]/IQN/LUN, vtape:PATH).\n"
    "  --drive N=DEVICE    drive:N of the changer (counted from 0) is DEVICE; repeatable\n"
    "  --devices DEV,...   tape devices told apart by their serial numbers, which the changer gives\n"
    "  --slots LIST        only these slots (numbered from 1)\n"
    "  --to FORMAT         the images' format: brx (the default), tap, e11, aws, het\n"
    "  --verify            read each tape a second time and compare it with its image\n"
    "  --load-timeout S    how long a drive may take to become ready after a load (default 900)\n"
    "  --block=BYTES       copy records up to this length (default: the longest the drive and its\n"
    "                      transport take, at most 16777215); a longer record fails the tape\n"
    "  --reads=N           read a record that fails N more times (default 0)\n"
    "  --skip              go on past records that stay unreadable: tap and e11 mark them bad, other\n"
    "                      formats list them in BARCODE.EXT.bad, as brx /skip does\n"
    "  --strict            a tape whose reading ended before the end of its data is incomplete\n"
    "  --buffer=MiB        read each drive ahead into a ring of this size (default 64; 0: none)\n"
    "  --manifest          also write BARCODE.EXT.json (see brxtool manifest), with the drive's\n"
    "                      vendor, product, revision and serial number\n"
    "Exit status: 0 every tape imaged whole, 2 imaged with records skipped, 4 a tape not imaged,\n"
    "not whole, incomplete with --strict or not put back (the table says why), 1 trouble before\n"
    "any tape moved.\n";

bool parse_drives(const arguments_t& arguments, library_options_t& options)
{
    for (const std::string& value : arguments.values("drive")) {
        size_t equals = value.find('=');
        char* end = nullptr;
        long number = std::strtol(value.c_str(), &end, 10);
        if (equals == std::string::npos || end != value.c_str() + equals || equals == 0 || equals + 1 == value.size()) {
            fprintf(stderr, "brxtool: library: --drive takes N=DEVICE, not '%s'\n", value.c_str());
            return false;
        }
        if (!options.drives.emplace(number, value.substr(equals + 1)).second) {
            fprintf(stderr, "brxtool: library: drive:%ld is given twice\n", number);
            return false;
        }
    }
    std::string devices = arguments.value("devices");
    for (size_t start = 0; arguments.has("devices") && start <= devices.size();) {
        size_t comma = std::min(devices.find(',', start), devices.size());
        if (comma > start)
            options.devices.push_back(devices.substr(start, comma - start));
        start = comma + 1;
    }
    return true;
}

bool parse_rescue(const arguments_t& arguments, library_options_t& options)
{
    uint32_t reads = 0;
    options.image.buffer_mib = library_buffer_mib;
    options.image.rescue.skip = arguments.has("skip");
    options.strict = arguments.has("strict");
    options.manifest = arguments.has("manifest");
    options.command_line = arguments.command_line;
    if (!number_option(arguments, "library: ", "reads", 0, 1000, reads) ||
        !number_option(arguments, "library: ", "block", 1, record_room, options.block) ||
        !number_option(arguments, "library: ", "buffer", 0, largest_ring_mib, options.image.buffer_mib))
        return false;
    options.image.rescue.reads = static_cast<int32_t>(reads);
    return true;
}

bool parse_options(const arguments_t& arguments, library_options_t& options)
{
    options.changer = arguments.positional[0];
    options.outdir = arguments.positional[1];
    options.verify = arguments.has("verify");
    if (!format_option(arguments, "to", options.format))
        return false;
    if (options.format == format_t::unknown)
        options.format = format_t::brx;
    if (arguments.has("slots") && !parse_slot_ranges(arguments.value("slots"), options.slots)) {
        fprintf(stderr, "brxtool: library: --slots takes numbers and ranges such as 3-40,45, not '%s'\n",
                arguments.value("slots").c_str());
        return false;
    }
    if (!number_option(arguments, "library: ", "load-timeout", 1, 86400, options.load_timeout, "seconds"))
        return false;
    return parse_rescue(arguments, options) && parse_drives(arguments, options);
}

// --block= against each drive that tells its limits before any tape moves.
bool choose_longest_records(library_t& library)
{
    for (auto& drive : library.drives) {
        std::string why;
        if (!longest_record_of(drive->tape, library.options.block, drive->longest, why)) {
            fprintf(stderr, "brxtool: library: %s\n", why.c_str());
            return false;
        }
    }
    return true;
}

bool open_outdir(const library_options_t& options, journal_t& journal)
{
    if (GetFileAttributesA(options.outdir.c_str()) != FILE_ATTRIBUTE_DIRECTORY) {
        fprintf(stderr, "brxtool: library: %s is not a folder\n", options.outdir.c_str());
        return false;
    }
    const std::string path = options.outdir + "/library.journal";
    if (journal.open(path))
        return true;
    fprintf(stderr, "brxtool: library: %s: %s\n", path.c_str(), error_text(GetLastError()).c_str());
    return false;
}

int run(const arguments_t& arguments)
{
    library_t library;
    journal_t journal;
    if (!parse_options(arguments, library.options) || !open_outdir(library.options, journal) ||
        !open_changer(library.options.changer, library.changer) ||
        !read_changer_elements(library.options.changer, library.changer, library.elements) || !open_drives(library) ||
        !choose_longest_records(library))
        return library_trouble;
    library.extension = format_info(library.options.format).extension;
    return_leftovers(library, journal);
    plan_jobs(library);
    {
        library_progress_t progress(library);
        run_workers(library, journal, [&progress] { progress.paint(); });
    }
    const int status = library_exit_status(library);
    print_summary(library);
    write_summary_json(library, status);
    return status;
}

}  // namespace

const command_t library_command{"library",
                                help,
                                {{"drive", true},
                                 {"devices", true},
                                 {"slots", true},
                                 {"to", true},
                                 {"verify", false},
                                 {"load-timeout", true},
                                 {"block", true},
                                 {"reads", true},
                                 {"skip", false},
                                 {"strict", false},
                                 {"buffer", true},
                                 {"manifest", false}},
                                2,
                                run};
