// A sequential-access (SSC) drive in process: answers CDBs, keeps its medium in a container file,
// so a virtual tape is an ordinary dump file. Variable blocks only: FIXED = 1 is refused with
// ILLEGAL REQUEST 24/00. Commands complete before execute returns, so IMMED bits are accepted and
// mean nothing. Reserved CDB bits are not checked. Sense data is fixed format, 18 bytes; ILLEGAL
// REQUEST for a bad field carries the byte's offset in the sense-key specific bytes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tapeio/brx_file_tape_io.h"
#include "tapeio/tape_io_handle.h"
#include "vtape/vtape_options.h"
#include "vtape/vtape_sense.h"

struct vtape_reply_t {
    DWORD error = NO_ERROR;  // not NO_ERROR: the request was malformed, nothing ran (the call fails)
    uint8_t status = vtape_sense::status_good;
    uint32_t sense_length = 0;  // sense bytes delivered after CHECK CONDITION
    uint32_t data_transferred = 0;
};

// One command as the handlers see it.
struct vtape_command_t {
    const uint8_t* cdb = nullptr;
    uint32_t cdb_length = 0;
    uint8_t direction = SCSI_IOCTL_DATA_UNSPECIFIED;
    uint8_t* data = nullptr;
    uint32_t data_length = 0;
};

// A handler's outcome before it is turned into status, sense bytes and the trace line.
struct vtape_result_t {
    DWORD error = NO_ERROR;
    bool check = false;
    vtape_sense_t sense;
    uint32_t moved = 0;
};

// The mode parameters MODE SELECT can change.
struct vtape_mode_t {
    uint8_t buffered_mode = 1;
    uint8_t speed = 0;
    uint32_t block_length = 0;  // stored and reported; reads and writes stay variable-block
    uint8_t device_configuration[16] = {};
    uint8_t data_compression[16] = {};
};

class vtape_t {
public:
    // name is "PATH?OPTIONS". Opens (or creates empty) the medium file and rewinds. Returns NO_ERROR,
    // ERROR_INVALID_PARAMETER for bad options (reason in why), or the medium's CreateFileA error.
    static DWORD open(const char* name, std::unique_ptr<vtape_t>& out, std::string* why = nullptr);
    ~vtape_t();
    vtape_t(const vtape_t&) = delete;
    vtape_t& operator=(const vtape_t&) = delete;

    // Runs one command. Sense data (18 bytes, fixed format) is delivered only after CHECK CONDITION.
    vtape_reply_t execute(const uint8_t* cdb, uint32_t cdb_length, uint8_t direction, uint8_t* data,
                          uint32_t data_length, uint8_t* sense, uint32_t sense_capacity);

    // Block index from the beginning, records and marks counted alike.
    uint32_t block_index() const { return static_cast<uint32_t>(handle_.block_count); }
    // The most data one command carries (option maxtransfer), UINT32_MAX for any length.
    uint32_t max_transfer() const { return options_.max_transfer != 0 ? options_.max_transfer : UINT32_MAX; }
    // The medium file's handle, owned by the drive.
    HANDLE medium() const { return medium_; }

private:
    vtape_t() = default;
    vtape_result_t dispatch(const vtape_command_t& command);
    bool admit(const vtape_command_t& command, bool known, vtape_result_t& refused);
    void init_mode_pages();
    void trace(const vtape_command_t& command, const vtape_reply_t& reply, const vtape_result_t& result);

    // vtape_inquiry.cpp
    vtape_result_t test_unit_ready(const vtape_command_t& command);
    vtape_result_t inquiry(const vtape_command_t& command);
    vtape_result_t request_sense(const vtape_command_t& command);
    vtape_result_t read_block_limits(const vtape_command_t& command);
    // vtape_read.cpp
    vtape_result_t read6(const vtape_command_t& command);
    bool bad_block_here();
    // vtape_heal.cpp
    bool load_heal_counts(std::string* why);
    void count_failure(uint32_t block);
    uint64_t medium_size();
    // vtape_write.cpp
    vtape_result_t write6(const vtape_command_t& command);
    vtape_result_t write_filemarks6(const vtape_command_t& command);
    vtape_result_t erase(const vtape_command_t& command);
    bool overflows(uint64_t end) const;
    bool past_early_warning(uint64_t end) const;
    // vtape_space.cpp
    vtape_result_t space6(const vtape_command_t& command);
    vtape_result_t space_blocks_forward(uint32_t count);
    vtape_result_t space_blocks_reverse(uint32_t count);
    vtape_result_t space_filemarks_forward(uint32_t count);
    vtape_result_t space_filemarks_reverse(uint32_t count);
    vtape_result_t space_to_end_of_data();
    vtape_result_t rewind(const vtape_command_t& command);
    vtape_result_t load_unload(const vtape_command_t& command);
    vtape_result_t locate10(const vtape_command_t& command);
    vtape_result_t read_position(const vtape_command_t& command);
    bool at_beginning();
    // vtape_mode.cpp
    vtape_result_t mode_sense(const vtape_command_t& command);
    vtape_result_t mode_select(const vtape_command_t& command);
    uint32_t build_mode_data(uint8_t page_control, uint8_t page, bool ten, bool dbd, uint8_t* out) const;
    vtape_result_t apply_mode_list(const uint8_t* list, uint32_t length, bool ten);
    vtape_result_t apply_mode_page(const uint8_t* page, uint32_t offset, vtape_mode_t& mode) const;
    uint8_t device_specific_parameter(const vtape_mode_t& mode, bool changeable) const;

    uint8_t* scratch(uint32_t size);

    vtape_options_t options_;
    vtape_mode_t mode_;
    vtape_mode_t initial_mode_;          // reported as the default values
    vtape_mode_t changeable_;            // masks: which bits MODE SELECT may change
    tape_io_handle_t handle_;
    brx_file_tape_io_t driver_;
    HANDLE medium_ = INVALID_HANDLE_VALUE;
    HANDLE trace_ = INVALID_HANDLE_VALUE;
    uint32_t attention_left_ = 0;
    bool loaded_ = true;
    std::vector<uint8_t> scratch_;
    std::map<uint32_t, uint32_t> failed_reads_;  // heal=: block index to reads failed in every run
};

// The trace line of one command, line break included.
std::string vtape_trace_line(const vtape_command_t& command, const vtape_reply_t& reply,
                             const vtape_result_t& result);

// Outcomes the handlers share.
vtape_result_t vtape_good(uint32_t moved = 0);
vtape_result_t vtape_check(uint8_t key, vtape_asc_t code);
vtape_result_t vtape_invalid_cdb(uint16_t byte);
vtape_result_t vtape_invalid_parameter(uint16_t byte);
vtape_result_t vtape_call_failure(DWORD error);
// Data in: moves as many bytes as are available, allocated and fit the caller's buffer.
vtape_result_t vtape_deliver(const vtape_command_t& command, const uint8_t* bytes, uint32_t available,
                             uint32_t allocation);
// Data out: the caller's buffer holds at least needed bytes.
bool vtape_data_out_ok(const vtape_command_t& command, uint32_t needed);
// CDB fields, big-endian.
uint32_t vtape_be16(const uint8_t* p);
uint32_t vtape_be24(const uint8_t* p);
uint32_t vtape_be32(const uint8_t* p);
void vtape_put_be16(uint8_t* p, uint32_t v);
void vtape_put_be24(uint8_t* p, uint32_t v);
void vtape_put_be32(uint8_t* p, uint32_t v);
