#include "vtape/vtape.h"

#include "tapeio/scsi_codes.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstring>

namespace {

namespace op = scsi_op;

constexpr uint32_t longest_cdb = 16;

// A failed open: the code CreateFileA fails with (never NO_ERROR) and, for the caller, the reason.
DWORD open_failure(DWORD error, const std::string& reason, std::string* why)
{
    if (why)
        *why = reason;
    return error != NO_ERROR ? error : ERROR_GEN_FAILURE;
}

// Without capacity=, the medium may grow into the free space of its file system less a margin, so
// that the drive reports the end of the medium as a real one would, before the disk is full.
uint64_t default_capacity(const std::string& medium_path, uint64_t medium_size)
{
    const std::string::size_type slash = medium_path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : medium_path.substr(0, slash + 1);
    ULARGE_INTEGER free_bytes;
    if (!GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &free_bytes, nullptr, nullptr))
        return 0;  // unknown: unlimited, as before
    const uint64_t total = medium_size + free_bytes.QuadPart;
    const uint64_t margin = std::max(total / 100, uint64_t{64} << 20);
    return total > margin ? total - margin : 1;  // 1: no write fits
}

}  // namespace

DWORD vtape_t::open(const char* name, std::unique_ptr<vtape_t>& out, std::string* why)
{
    std::unique_ptr<vtape_t> tape(new vtape_t());
    const DWORD error = parse_vtape_name(name, tape->options_, why);
    if (error != NO_ERROR)
        return error;
    const vtape_options_t& o = tape->options_;
    // A protected medium is opened for reading only, so a read-only file serves as one.
    const DWORD access = o.write_protected ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    tape->medium_ = CreateFileA(o.medium_path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (tape->medium_ == INVALID_HANDLE_VALUE)
        return open_failure(GetLastError(), "cannot open the medium file '" + o.medium_path + "'", why);
    if (!o.trace_path.empty()) {
        tape->trace_ = CreateFileA(o.trace_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (tape->trace_ == INVALID_HANDLE_VALUE)
            return open_failure(GetLastError(), "cannot open the trace file '" + o.trace_path + "'", why);
    }
    if (!tape->load_heal_counts(why))
        return ERROR_INVALID_PARAMETER;
    tape->attention_left_ = o.attention;
    tape->init_mode_pages();
    tape->handle_.attach(tape->medium_);
    // The tape starts at its beginning.
    if (tape->driver_.setup(&tape->handle_, tape->scratch(8), 8) != 1)
        return open_failure(tape->handle_.last_error, "cannot position the medium file '" + o.medium_path + "'",
                            why);
    if (o.capacity == 0)
        tape->options_.capacity = default_capacity(o.medium_path, tape->medium_size());
    out = std::move(tape);
    return NO_ERROR;
}

vtape_t::~vtape_t()
{
    if (medium_ != INVALID_HANDLE_VALUE)
        CloseHandle(medium_);
    if (trace_ != INVALID_HANDLE_VALUE)
        CloseHandle(trace_);
}

vtape_reply_t vtape_t::execute(const uint8_t* cdb, uint32_t cdb_length, uint8_t direction, uint8_t* data,
                               uint32_t data_length, uint8_t* sense, uint32_t sense_capacity)
{
    const vtape_command_t command{cdb, cdb_length, direction, data, data_length};
    if (options_.delay_us != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(options_.delay_us));
    // The transport refuses what it cannot carry, as SG_IO does: the command never reaches the drive.
    const vtape_result_t result =
        data_length > max_transfer() ? vtape_call_failure(ERROR_INVALID_PARAMETER) : dispatch(command);
    vtape_reply_t reply;
    reply.error = result.error;
    if (result.error == NO_ERROR) {
        reply.data_transferred = result.moved;
        if (result.check) {
            reply.status = vtape_sense::status_check_condition;
            uint8_t bytes[vtape_sense::length];
            result.sense.encode(bytes);
            const uint32_t n = sense ? std::min(sense_capacity, vtape_sense::length) : 0;
            if (n != 0)
                std::memcpy(sense, bytes, n);
            reply.sense_length = n;
        }
    }
    trace(command, reply, result);
    return reply;
}

vtape_result_t vtape_t::dispatch(const vtape_command_t& command)
{
    using handler_t = vtape_result_t (vtape_t::*)(const vtape_command_t&);
    struct entry_t {
        uint8_t opcode;
        uint8_t length;
        handler_t handler;
    };
    static const entry_t table[] = {
        {op::test_unit_ready, 6, &vtape_t::test_unit_ready},
        {op::rewind, 6, &vtape_t::rewind},
        {op::request_sense, 6, &vtape_t::request_sense},
        {op::read_block_limits, 6, &vtape_t::read_block_limits},
        {op::read6, 6, &vtape_t::read6},
        {op::write6, 6, &vtape_t::write6},
        {op::write_filemarks6, 6, &vtape_t::write_filemarks6},
        {op::space6, 6, &vtape_t::space6},
        {op::inquiry, 6, &vtape_t::inquiry},
        {op::mode_select6, 6, &vtape_t::mode_select},
        {op::erase6, 6, &vtape_t::erase},
        {op::mode_sense6, 6, &vtape_t::mode_sense},
        {op::load_unload, 6, &vtape_t::load_unload},
        {op::locate10, 10, &vtape_t::locate10},
        {op::read_position, 10, &vtape_t::read_position},
        {op::mode_select10, 10, &vtape_t::mode_select},
        {op::mode_sense10, 10, &vtape_t::mode_sense},
    };
    if (!command.cdb || command.cdb_length < 6 || command.cdb_length > longest_cdb)
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    const entry_t* entry = nullptr;
    for (const entry_t& e : table)
        if (e.opcode == command.cdb[0])
            entry = &e;
    if (entry && command.cdb_length < entry->length)
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    vtape_result_t refused;
    if (!admit(command, entry != nullptr, refused))
        return refused;
    return (this->*(entry->handler))(command);
}

// A pending unit attention comes first, then an unknown opcode, then a missing medium. INQUIRY is
// never held back, and REQUEST SENSE reports these conditions as its data instead.
bool vtape_t::admit(const vtape_command_t& command, bool known, vtape_result_t& refused)
{
    const uint8_t opcode = command.cdb[0];
    if (opcode == op::inquiry || opcode == op::request_sense)
        return true;
    if (attention_left_ > 0) {
        --attention_left_;
        refused = vtape_check(vtape_sense::unit_attention, vtape_sense::medium_may_have_changed);
        return false;
    }
    if (!known) {
        refused = vtape_check(vtape_sense::illegal_request, vtape_sense::invalid_command_operation_code);
        refused.sense.field_pointer = true;
        refused.sense.in_cdb = true;
        return false;
    }
    if (options_.not_ready || (!loaded_ && opcode != op::load_unload)) {
        refused = vtape_check(vtape_sense::not_ready, vtape_sense::medium_not_present);
        return false;
    }
    return true;
}

uint8_t* vtape_t::scratch(uint32_t size)
{
    if (scratch_.size() < size)
        scratch_.resize(size);
    return scratch_.data();
}

vtape_result_t vtape_good(uint32_t moved)
{
    vtape_result_t result;
    result.moved = moved;
    return result;
}

vtape_result_t vtape_check(uint8_t key, vtape_asc_t code)
{
    vtape_result_t result;
    result.check = true;
    result.sense.key = key;
    result.sense.code = code;
    return result;
}

vtape_result_t vtape_invalid_cdb(uint16_t byte)
{
    vtape_result_t result = vtape_check(vtape_sense::illegal_request, vtape_sense::invalid_field_in_cdb);
    result.sense.field_pointer = true;
    result.sense.in_cdb = true;
    result.sense.field_byte = byte;
    return result;
}

vtape_result_t vtape_invalid_parameter(uint16_t byte)
{
    vtape_result_t result =
        vtape_check(vtape_sense::illegal_request, vtape_sense::invalid_field_in_parameter_list);
    result.sense.field_pointer = true;
    result.sense.field_byte = byte;
    return result;
}

vtape_result_t vtape_call_failure(DWORD error)
{
    vtape_result_t result;
    result.error = error;
    return result;
}

vtape_result_t vtape_deliver(const vtape_command_t& command, const uint8_t* bytes, uint32_t available,
                             uint32_t allocation)
{
    const uint32_t n = std::min({available, allocation, command.data_length});
    if (n == 0)
        return vtape_good(0);
    if (command.direction != SCSI_IOCTL_DATA_IN || !command.data)
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    std::memcpy(command.data, bytes, n);
    return vtape_good(n);
}

bool vtape_data_out_ok(const vtape_command_t& command, uint32_t needed)
{
    return needed == 0 ||
           (command.direction == SCSI_IOCTL_DATA_OUT && command.data && command.data_length >= needed);
}

uint32_t vtape_be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t vtape_be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
uint32_t vtape_be32(const uint8_t* p) { return (vtape_be16(p) << 16) | vtape_be16(p + 2); }

void vtape_put_be16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void vtape_put_be24(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 16);
    vtape_put_be16(p + 1, v);
}

void vtape_put_be32(uint8_t* p, uint32_t v)
{
    vtape_put_be16(p, v >> 16);
    vtape_put_be16(p + 2, v);
}
