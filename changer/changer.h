// A medium changer (SMC) reached through the SCSI pass-through that the tape driver uses. It is
// not a tape: it moves media between elements and tells what each element holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "changer/element_status.h"
#include "tapeio/scsi_answer.h"

// A state the changer leaves by itself: not ready, unit attention, a mechanical positioning error.
bool is_transient(const scsi_answer_t& answer);

class changer_t {
public:
    changer_t();
    ~changer_t();
    changer_t(const changer_t&) = delete;
    changer_t& operator=(const changer_t&) = delete;

    // Opens the device, checks with INQUIRY that it is a medium changer and reads its element
    // address assignment. false leaves the reason in open_error, answer or device_type.
    bool open(const std::string& name);
    // Every element, type by type (transport, slot, import/export, drive), each in address order.
    scsi_answer_t read_elements(std::vector<element_t>& elements);
    // MOVE MEDIUM with the first transport element; a transient failure is tried again.
    scsi_answer_t move(uint16_t source, uint16_t destination);
    scsi_answer_t initialize();

    element_layout_t layout;
    uint32_t open_error = 0;  // the system's reason when the device did not open
    scsi_answer_t answer;     // the failed command of open
    int device_type = -1;     // what INQUIRY said the device is
    int retries = 3;          // after the first attempt, for transient failures
    uint32_t retry_pause_ms = 5000;
    uint16_t chunk = 32;      // elements asked for in one READ ELEMENT STATUS

private:
    template <class command_t> scsi_answer_t persist(command_t command);
    scsi_answer_t read_type(element_type_t type, bool tags, bool identifiers, std::vector<element_t>& elements);
    scsi_answer_t read_chunk(const element_request_t& request, std::vector<element_t>& elements);
    // What arrived stays when asking again brings no more.
    void read_alone(element_t& element, bool tags, bool identifiers);

    tape_io_handle_t handle;
    std::vector<uint8_t> buffer;
};
