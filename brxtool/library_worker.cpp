#include "brxtool/library_worker.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "brxtool/changer_text.h"
#include "brxtool/element_names.h"
#include "brxtool/image_manifest.h"
#include "brxtool/library_files.h"
#include "brxtool/library_plan.h"
#include "changer/changer_commands.h"
#include "tapeio/scsi_codes.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct job_list_t {
    std::mutex lock;
    size_t next = 0;
};

void set_state(library_drive_t& drive, const std::string& state)
{
    std::lock_guard<std::mutex> guard(drive.state_lock);
    drive.state = state;
}

std::string one_line(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

void fail(tape_job_t& job, const std::string& why, journal_t& journal)
{
    job.status = tape_status_t::failed;
    job.why = one_line(why);
    journal.write("failed " + job.name + " " + job.why);
}

scsi_answer_t move_locked(library_t& library, uint16_t from, uint16_t to)
{
    std::lock_guard<std::mutex> guard(library.changer_lock);
    return library.changer.move(from, to);
}

std::string slot_and_drive(uint16_t slot, const library_drive_t& drive)
{
    return " slot " + std::to_string(slot) + " drive " + std::to_string(drive.address);
}

// Waits through the states of a cartridge being loaded: NOT READY while it becomes ready (or is
// not yet seen) and UNIT ATTENTION for the new medium.
bool wait_ready(library_drive_t& drive, uint32_t timeout_seconds, std::string& why)
{
    const clock_type::time_point deadline = clock_type::now() + std::chrono::seconds(timeout_seconds);
    std::chrono::milliseconds pause(50);
    for (;;) {
        scsi_answer_t answer = test_unit_ready(&drive.tape.handle, drive.tape.memory);
        if (answer.good())
            return true;
        const bool loading = answer.kind == answer_kind_t::sense &&
                             (answer.key == sense_key::unit_attention ||
                              (answer.key == sense_key::not_ready && (answer.asc == 0x04 || answer.asc == 0x3A) &&
                               !answer.has_sense(sense_key::not_ready, 0x04, 0x03)));
        if (!loading || clock_type::now() >= deadline) {
            why = std::string(loading ? "the drive did not become ready in " + std::to_string(timeout_seconds) + " s: "
                                      : "the drive is not ready: ") + answer_text(answer);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(2000));
    }
}

// Rewinds and ejects the tape in drive and moves it into slot; false (with why) when it stays.
bool put_back(library_t& library, library_drive_t& drive, const std::string& name, uint16_t slot, journal_t& journal,
              std::string& why)
{
    set_state(drive, "returning " + name);
    drive.tape.driver->rewind(&drive.tape.handle, drive.tape.memory, record_room);
    drive.tape.driver->unload(&drive.tape.handle, drive.tape.memory, record_room);
    const std::string slot_name = element_name(library.changer.layout, slot);
    if (!journal.write("unload " + name + " drive " + std::to_string(drive.address) + " slot " + std::to_string(slot))) {
        why = "cannot write the journal; the tape stays in the drive";
        return false;
    }
    scsi_answer_t answer = move_locked(library, drive.address, slot);
    if (!answer.good()) {
        why = "cannot put the tape back into " + slot_name + ": " + answer_text(answer);
        journal.write("failed " + name + " " + why);
        return false;
    }
    journal.write("returned " + name + " slot " + std::to_string(slot));
    set_state(drive, "idle");
    return true;
}

// false when the tape did not move (the job has failed).
bool load(library_t& library, library_drive_t& drive, tape_job_t& job, journal_t& journal)
{
    set_state(drive, "loading " + job.name);
    if (!journal.write("load " + job.name + slot_and_drive(job.slot, drive))) {
        fail(job, "cannot write the journal", journal);
        return false;
    }
    scsi_answer_t answer = move_locked(library, job.slot, drive.address);
    if (!answer.good()) {
        fail(job, "cannot load it into drive:" + std::to_string(drive.number) + ": " + answer_text(answer), journal);
        return false;
    }
    if (!journal.write("loaded " + job.name + slot_and_drive(job.slot, drive)))
        fail(job, "cannot write the journal", journal);
    return true;
}

tape_status_t status_of(const library_t& library, const image_result_t& result)
{
    if (result.ended_early && library.options.strict)
        return tape_status_t::incomplete;
    return result.skipped != 0 ? tape_status_t::partial : tape_status_t::imaged;
}

// The image made, ended and verified; "" or why not.
std::string make_image(library_t& library, library_drive_t& drive, tape_job_t& job, pass_output_t& out,
                       image_result_t& result, bool& trouble)
{
    image_options_t options = library.options.image;
    options.rescue.longest_record = drive.longest;
    options.name = job.name;
    result = image_tape(drive.tape, out, options, drive.live);
    job.records = result.records;
    job.bytes = result.bytes;
    job.skipped = result.skipped;
    trouble = result.drive_trouble;
    if (!result.complete)
        return result.why;
    if (!end_output(out))
        return "cannot end " + partial_name(out.name);
    if (!library.options.verify)
        return "";
    set_state(drive, "verifying " + job.name);
    const std::string list = out.list.created ? partial_name(out.name + ".bad") : "";
    return verify_image(drive.tape, partial_name(out.name), list, library.options.format, options,
                        result.ended_early, trouble);
}

// Loaded: waits, images, verifies, keeps. false when the drive failed.
bool image_loaded(library_t& library, library_drive_t& drive, tape_job_t& job, journal_t& journal,
                  const std::string& path)
{
    std::string why;
    set_state(drive, "waiting for " + job.name);
    if (!wait_ready(drive, library.options.load_timeout, why)) {
        fail(job, why, journal);
        return false;
    }
    // Asked again with the tape loaded: some drives tell their limits only then.
    if (!longest_record_of(drive.tape, library.options.block, drive.longest, why)) {
        fail(job, why, journal);
        return true;
    }
    set_state(drive, "imaging " + job.name);
    manifest_source_t source = brxtool_source(library.options.command_line);
    pass_output_t out;
    if (!create_output(path, library.options.format, out)) {
        fail(job, "cannot create " + partial_name(path), journal);
        return true;
    }
    image_result_t result;
    bool trouble = false;
    why = make_image(library, drive, job, out, result, trouble);
    if (why.empty() && library.options.manifest) {
        source.device = drive.tape.name;
        read_drive_identity(&drive.tape.handle, drive.tape.memory, drive.tape.memory + data_at, source.drive);
        source.feed = result.fed ? &result.feed : nullptr;
    }
    if (why.empty() && keep_image(library, out, result, job, journal, source, why)) {
        job.status = status_of(library, result);
        job.why = one_line(result.why);
        return true;
    }
    // As brx keeps a dump that skipped records, whatever ends it: the records rescued so far stay,
    // under the temporary names, until a run images the tape again.
    if (!result.complete && result.skipped != 0 && end_output(out))
        why += "; what was read is kept in " + partial_name(path);
    else
        abandon_output(out);
    fail(job, why, journal);
    return !trouble;
}

// false: the drive is out of the run.
bool handle_job(library_t& library, library_drive_t& drive, tape_job_t& job, journal_t& journal)
{
    const clock_type::time_point start = clock_type::now();
    const std::string file = job.name + library.extension, path = library.options.outdir + "/" + file;
    std::string why;
    if (already_complete(library, journal.history, job, file, path))
        return true;
    job.drive = drive.number;
    if (!names_free(journal.history, job, path, why)) {
        fail(job, why, journal);
        return true;
    }
    if (!load(library, drive, job, journal))
        return true;
    bool drive_ok = job.status != tape_status_t::pending || image_loaded(library, drive, job, journal, path);
    if (!put_back(library, drive, job.name, job.slot, journal, why)) {
        job.left_in_drive = true;
        job.why += (job.why.empty() ? "" : "; ") + why;
        drive_ok = false;
    }
    job.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    return drive_ok;
}

tape_job_t* next_job(library_t& library, job_list_t& list)
{
    std::lock_guard<std::mutex> guard(list.lock);
    while (list.next < library.jobs.size()) {
        tape_job_t& job = library.jobs[list.next++];
        if (job.status == tape_status_t::pending)
            return &job;
    }
    return nullptr;
}

void work(library_t& library, library_drive_t& drive, journal_t& journal, job_list_t& list)
{
    while (tape_job_t* job = next_job(library, list))
        if (!handle_job(library, drive, *job, journal)) {
            drive.out = true;
            set_state(drive, "out of the run");
            fprintf(stderr, "brxtool: library: drive:%d is taken out of the run: %s\n", drive.number, job->why.c_str());
            return;
        }
    set_state(drive, "done");
}

element_t* element_at(library_t& library, uint16_t address)
{
    for (element_t& element : library.elements)
        if (element.address == address)
            return &element;
    return nullptr;
}

// Where a tape found in a drive goes back to: an empty slot, its source first.
element_t* home_of(library_t& library, const element_t& loaded, const journal_history_t& history)
{
    std::vector<uint16_t> choices;
    if (loaded.source_valid)
        choices.push_back(loaded.source);
    auto known = history.slots.find(safe_name(loaded.volume_tag));
    if (!loaded.volume_tag.empty() && known != history.slots.end())
        choices.push_back(known->second);
    for (uint16_t address : choices) {
        element_t* slot = element_at(library, address);
        if (slot != nullptr && slot->type == element_type_t::slot && !slot->full)
            return slot;
    }
    for (element_t& element : library.elements)
        if (element.type == element_type_t::slot && !element.full)
            return &element;
    return nullptr;
}

}  // namespace

void return_leftovers(library_t& library, journal_t& journal)
{
    for (auto& drive : library.drives) {
        element_t* loaded = element_at(library, drive->address);
        if (loaded == nullptr || !loaded->full)
            continue;
        element_t* slot = home_of(library, *loaded, journal.history);
        const std::string tag = loaded->volume_tag.empty() ? "a tape without a barcode" : loaded->volume_tag;
        std::string why = "no slot is empty";
        std::string name = !loaded->volume_tag.empty() ? safe_name(loaded->volume_tag)
                           : slot != nullptr ? "slot-" + std::to_string(element_number(library.changer.layout, slot->address))
                                             : "unknown";
        if (slot != nullptr && put_back(library, *drive, name, slot->address, journal, why)) {
            fprintf(stderr, "brxtool: library: drive:%d held %s; put back into %s\n", drive->number, tag.c_str(),
                    element_name(library.changer.layout, slot->address).c_str());
            slot->full = true;
            slot->volume_tag = loaded->volume_tag;
            slot->medium_type = loaded->medium_type;
            loaded->full = false;
            continue;
        }
        drive->out = true;
        fprintf(stderr, "brxtool: library: drive:%d holds %s and is left out of the run: %s\n", drive->number,
                tag.c_str(), why.c_str());
        tape_job_t stuck;  // listed, so that the run does not end as if every tape were done
        stuck.slot = drive->address;
        stuck.barcode = loaded->volume_tag;
        stuck.name = name;
        stuck.status = tape_status_t::failed;
        stuck.drive = drive->number;
        stuck.left_in_drive = true;
        stuck.why = "left in the drive by an earlier run and not put back: " + why;
        library.jobs.push_back(stuck);
    }
}

void run_workers(library_t& library, journal_t& journal, const std::function<void()>& paint)
{
    job_list_t list;
    std::atomic<size_t> running{0};
    std::vector<std::thread> workers;
    for (auto& drive : library.drives)
        if (!drive->out) {
            ++running;
            workers.emplace_back([&library, &journal, &list, &running, one = drive.get()] {
                work(library, *one, journal, list);
                --running;
            });
        }
    for (int tick = 0; running > 0; ++tick) {
        if (tick % 5 == 0)
            paint();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::thread& worker : workers)
        worker.join();
    for (tape_job_t& job : library.jobs)
        if (job.status == tape_status_t::pending) {
            job.status = tape_status_t::failed;
            job.why = "no drive was left to image it";
        }
}
