// One line per command, appended to the trace file:
//   "08 00 FE 00 00 00 | in 65024 | status 02 | sense 00/00/01"
// CDB bytes in hex; data direction (in, out, none when no data is asked for) and the data length the
// caller gave; the status byte; sense key, ASC and ASCQ after CHECK CONDITION, else "-". A request
// refused before it ran ends in "| error N" (the Windows code the call fails with) instead.
#include <cstdio>
#include <string>

#include "vtape/vtape.h"

namespace {

const char* direction_word(const vtape_command_t& command)
{
    if (command.data_length == 0)
        return "none";
    return command.direction == SCSI_IOCTL_DATA_IN ? "in" : command.direction == SCSI_IOCTL_DATA_OUT ? "out" : "none";
}

}  // namespace

std::string vtape_trace_line(const vtape_command_t& command, const vtape_reply_t& reply, const vtape_result_t& result)
{
    std::string line;
    char piece[64];
    const uint32_t cdb_length = command.cdb ? command.cdb_length : 0;
    for (uint32_t i = 0; i < cdb_length && i < 16; ++i) {
        std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", command.cdb[i]);
        line += piece;
    }
    std::snprintf(piece, sizeof piece, " | %s %lu", direction_word(command),
                  static_cast<unsigned long>(command.data_length));
    line += piece;
    if (reply.error != NO_ERROR) {
        std::snprintf(piece, sizeof piece, " | error %lu\n", static_cast<unsigned long>(reply.error));
    } else if (result.check) {
        std::snprintf(piece, sizeof piece, " | status %02X | sense %02X/%02X/%02X\n", reply.status,
                      result.sense.key, result.sense.code.asc, result.sense.code.ascq);
    } else {
        std::snprintf(piece, sizeof piece, " | status %02X | sense -\n", reply.status);
    }
    return line + piece;
}

// Appends, so several runs (and several opens) on one trace file keep every line in order.
void vtape_t::trace(const vtape_command_t& command, const vtape_reply_t& reply, const vtape_result_t& result)
{
    if (trace_ == INVALID_HANDLE_VALUE)
        return;
    const std::string line = vtape_trace_line(command, reply, result);
    LONG high = 0;
    SetFilePointer(trace_, 0, &high, FILE_END);
    DWORD written = 0;
    WriteFile(trace_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
