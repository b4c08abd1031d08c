// Sense data as a sequential-access drive reports it: fixed format, 18 bytes.
#pragma once

#include <cstdint>

#include "tapeio/scsi_codes.h"

namespace vtape_sense {

// The shared sense keys and bits, under this drive's names.
using namespace sense_key;
constexpr uint8_t filemark_bit = sense_bit::filemark;
constexpr uint8_t eom_bit = sense_bit::eom;
constexpr uint8_t ili_bit = sense_bit::ili;
constexpr uint8_t valid_bit = sense_bit::valid;

constexpr uint8_t response_current_fixed = 0x70;
constexpr uint32_t length = 18;
constexpr uint8_t additional_length = length - 8;

constexpr uint8_t status_good = scsi_status::good;
constexpr uint8_t status_check_condition = scsi_status::check_condition;

}  // namespace vtape_sense

// Additional sense code and qualifier.
struct vtape_asc_t {
    uint8_t asc;
    uint8_t ascq;
};

constexpr bool operator==(vtape_asc_t a, vtape_asc_t b) { return a.asc == b.asc && a.ascq == b.ascq; }

namespace vtape_sense {

constexpr vtape_asc_t no_additional_sense{0x00, 0x00};
constexpr vtape_asc_t filemark_detected{0x00, 0x01};
constexpr vtape_asc_t end_of_medium_detected{0x00, 0x02};
constexpr vtape_asc_t beginning_of_medium_detected{0x00, 0x04};
constexpr vtape_asc_t end_of_data_detected{0x00, 0x05};
constexpr vtape_asc_t write_error{0x0C, 0x00};
constexpr vtape_asc_t unrecovered_read_error{0x11, 0x00};
constexpr vtape_asc_t parameter_list_length_error{0x1A, 0x00};
constexpr vtape_asc_t invalid_command_operation_code{0x20, 0x00};
constexpr vtape_asc_t invalid_field_in_cdb{0x24, 0x00};
constexpr vtape_asc_t invalid_field_in_parameter_list{0x26, 0x00};
constexpr vtape_asc_t write_protected{0x27, 0x00};
constexpr vtape_asc_t medium_may_have_changed{0x28, 0x00};
constexpr vtape_asc_t saving_parameters_not_supported{0x39, 0x00};
constexpr vtape_asc_t medium_not_present{0x3A, 0x00};
constexpr vtape_asc_t internal_target_failure{0x44, 0x00};

// Names for printing: "NO SENSE", "BLANK CHECK", ...; "?" for keys without a name here.
const char* key_name(uint8_t key);

}  // namespace vtape_sense

// What a command reports besides its status; encoded into the 18 sense bytes.
struct vtape_sense_t {
    uint8_t key = vtape_sense::no_sense;
    vtape_asc_t code = vtape_sense::no_additional_sense;
    bool filemark = false;
    bool eom = false;
    bool ili = false;
    bool valid = false;          // INFORMATION holds a residue
    int32_t information = 0;     // requested minus actual, two's complement
    bool field_pointer = false;  // sense-key specific: the offending byte
    bool in_cdb = false;         // ...of the CDB (else of the parameter list)
    uint16_t field_byte = 0;

    void encode(uint8_t out[vtape_sense::length]) const;
};
