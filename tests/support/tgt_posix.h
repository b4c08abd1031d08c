// The iSCSI tape the tests share (tests/tgt/start-tgt.sh prints its URL for BRX_TEST_ISCSI_URL).
#pragma once

#include <string>
#include <vector>

// The URL, or nullptr when it is not set: the tests that need a target then skip themselves.
// BRX_TEST_LIBRARY_URL names tests/tgt/start-library.sh's library instead.
const char* tgt_url(const char* variable = "BRX_TEST_ISCSI_URL");
// Writes the blocks (an empty one is a tape mark) from the beginning of the tape at url with the
// SCSI driver; true when every block was written.
bool write_tape(const std::string& url, const std::vector<std::string>& blocks);
