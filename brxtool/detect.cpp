#include "brxtool/detect.h"

namespace {

// Blocks read before a format is taken to fit (tap and e11 read on to their first odd record). A
// pipe offers what its buffer holds: a format fits when its blocks there (at least the first's
// beginning) hold together. When none reads that far, the one that read the most whole blocks
// is taken, and reading it will meet the damage.
constexpr int blocks_to_try = 64;

bool starts_as_brx(tape_t& tape)
{
    uint8_t header[8] = {};
    uint32_t read = 0;
    if (image_seek(&tape.handle, 0) != 0 || image_read(&tape.handle, header, sizeof header, &read) != 0 ||
        read != sizeof header)
        return false;
    // The first block's back-pointer says "no previous block".
    return header[4] == 0 && header[5] == 0 && header[6] == 0 && header[7] == 1;
}

// How far a format reads: whole blocks before damage, or all the way (to the end of the data, the
// blocks to try, or in SIMH images to the first odd record).
struct trial_t {
    bool whole = false;
    int blocks = 0;
};

trial_t try_format(tape_t& tape, format_t format)
{
    trial_t trial;
    if (format == format_t::brx && !starts_as_brx(tape))
        return trial;
    tape_io_t& driver = format_driver(format);
    tape_io_handle_t& handle = tape.handle;
    const uint32_t size = 4096;  // steps deliver no data
    if (driver.setup(&handle, tape.memory, size) != 1)
        return trial;
    bool simh = format == format_t::tap || format == format_t::e11;
    for (;; ++trial.blocks) {
        if (trial.blocks >= blocks_to_try && !simh)
            break;
        int32_t result = driver.step_record_forward(&handle, tape.memory, size, 1);
        uint64_t end = 0;
        bool known = image_size(&handle, &end);
        if (result == -2 && handle.last_error == 0 && known && handle.position > end) {
            --trial.blocks;  // the last block passed runs past the end of the file
            return trial;
        }
        if (result == -2 && handle.last_error == 0)  // the end, before a stray tail or a SIMH end marker
            trial.whole = trial.blocks > 0 || (known && end >= handle.position + format_info(format).unit);
        // Damage; unless detection read all it may of a pipe, or met a record this build cannot expand.
        else if (result < 0)
            trial.whole = handle.last_error == ERROR_MORE_DATA || handle.last_error == ERROR_NOT_SUPPORTED;
        else if (!simh || result % 2 == 0)
            continue;
        else
            ++trial.blocks;  // the pad byte was where this format has it
        return trial;
    }
    trial.whole = true;
    return trial;
}

}  // namespace

format_t detect_format(tape_t& tape)
{
    // A pipe is read once: what detection reads stays in the buffer to be read again.
    image_pin(&tape.handle, !image_seekable(&tape.handle));
    format_t found = format_t::unknown;
    uint8_t first = 0;
    uint32_t read = 0;
    if (image_seek(&tape.handle, 0) == 0 && image_read(&tape.handle, &first, 1, &read) == 0 && read == 0)
        found = format_t::brx;  // an empty tape, in any format
    int most = 0;
    format_t best = format_t::unknown;
    for (format_t format : {format_t::brx, format_t::aws, format_t::het, format_t::tap, format_t::e11}) {
        if (found != format_t::unknown)
            break;
        trial_t trial = try_format(tape, format);
        if (trial.whole)
            found = format;
        if (trial.blocks > most) {
            most = trial.blocks;
            best = format;
        }
    }
    image_pin(&tape.handle, false);
    return found != format_t::unknown ? found : best;
}
