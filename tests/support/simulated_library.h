// A tape library inside the test process, on Linux and under wine alike: a changer and drives
// reached as \\.\ChangerN and \\.\TapeN (the environment names them), whose media are dump files
// played by the virtual drive. Tests script the faults real changers and drives show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class simulated_library_impl_t;

class simulated_library_t {
public:
    // Elements: transport 100, drives 200 on, slots 300 on (slot:N at 299 + N), import/export 400.
    // unit numbers the devices: \\.\Changer<unit>, drive i at \\.\Tape<unit * 10 + i>.
    simulated_library_t(const std::string& folder, int drives, int slots, int unit);
    ~simulated_library_t();

    // A tape in slot:N whose medium holds contents (a dump file); an empty barcode gives none.
    void put(int slot, const std::string& barcode, const std::string& contents, bool cleaning = false);
    // The same with the medium file as it is, played with the virtual drive's options ("delay=500").
    void put_file(int slot, const std::string& barcode, const std::string& path, const std::string& options);
    // The next command with this operation code, after skip more, answers CHECK CONDITION with
    // key/asc/ascq (without sense data, left for REQUEST SENSE, when quiet). drive -1 is the changer.
    void fail_next(int drive, uint8_t opcode, uint8_t key, uint8_t asc, uint8_t ascq, bool quiet = false,
                   unsigned skip = 0);
    // Refuse volume tags and identifiers asked for in one request; give at most this many
    // elements per reply (0: all); end each reply short_by bytes before the length it states.
    void limit_replies(bool refuse_tags_with_identifiers, uint16_t elements_per_reply, uint32_t short_by = 0);
    // The changer's operation codes so far, and what an element holds ("" empty, else its barcode
    // or "-" for a tape without one).
    std::vector<uint8_t> changer_commands() const;
    std::string holds(uint16_t address) const;

    std::string changer_name() const;
    std::string drive_name(int drive) const;

private:
    std::shared_ptr<simulated_library_impl_t> impl;
    int changer_unit = 0;
};
