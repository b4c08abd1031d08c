// What the end-to-end tests build tapes from and how they run brx against a virtual drive.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_brx.h"

// A container file holding blocks in order: each string a record, an empty string a tape mark.
std::string container_of(const std::vector<std::string>& blocks);

// A record of length bytes whose contents depend on seed, so that records differ from each other.
std::string record_of(size_t length, unsigned seed);

// Runs brx in directory with variable=value in its environment (for BRX_TAPE<N>).
brx_run_t run_brx_on(const std::string& variable, const std::string& value,
                     const std::vector<std::string>& arguments, const std::string& directory);

// The system's text for an error code, as brx prints it.
std::string system_text(unsigned long code);
