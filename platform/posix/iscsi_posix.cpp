// An iSCSI LUN as a device, through libiscsi. Data moves straight between the socket and the
// caller's buffer. A session that breaks or times out is closed for good: the drive may still be
// working on the lost command, and no later command could know where the tape stands. While a
// command is out, a connection silent for a while is pinged (NOP-Out); one that stays silent for
// the device string's time-out is given up, however long the command itself may take.
#include "platform/posix/iscsi_posix.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>

#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>

#include "platform/posix/transports.h"

namespace posix {

namespace {

constexpr const char* initiator_name = "iqn.2026-12.org.brx:initiator";
constexpr uint32_t default_timeout_seconds = 60;  // a time-out of 0 has no meaning to copy
constexpr size_t max_cdb_length = 16;
constexpr int poll_interval_ms = 1000;            // libiscsi checks its time-outs when serviced
constexpr int pings_per_timeout = 3;              // a live target answers one of them in time
constexpr size_t sense_length_prefix = 2;         // datain after CHECK CONDITION: length, then sense

struct context_deleter_t {
    void operator()(iscsi_context* context) const { iscsi_destroy_context(context); }
};
struct task_deleter_t {
    void operator()(scsi_task* task) const { scsi_free_scsi_task(task); }
};
using context_ptr = std::unique_ptr<iscsi_context, context_deleter_t>;
using task_ptr = std::unique_ptr<scsi_task, task_deleter_t>;

// Completion of the one command in flight; lives in the device, so libiscsi may still report
// a cancelled command into it while the context is destroyed.
struct completion_t {
    bool done = false;
    int status = SCSI_STATUS_ERROR;
};

void command_done(iscsi_context*, int status, void*, void* private_data) {
    auto* completion = static_cast<completion_t*>(private_data);
    completion->done = true;
    completion->status = status;
}

DWORD check_command(const scsi_command_t& command) {
    if (command.cdb == nullptr || command.cdb_length == 0 || command.cdb_length > max_cdb_length) {
        return ERROR_INVALID_PARAMETER;
    }
    if (command.data_length > INT_MAX || (command.data_length > 0 && command.data == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    bool known_direction = command.direction == SCSI_IOCTL_DATA_IN || command.direction == SCSI_IOCTL_DATA_OUT;
    if (command.data_length > 0 && !known_direction) return ERROR_INVALID_PARAMETER;
    return NO_ERROR;
}

task_ptr make_task(const scsi_command_t& command) {
    uint8_t cdb[max_cdb_length] = {};
    std::copy_n(command.cdb, command.cdb_length, cdb);
    int length = static_cast<int>(command.data_length);
    int direction = length == 0 ? SCSI_XFER_NONE
                    : command.direction == SCSI_IOCTL_DATA_IN ? SCSI_XFER_READ
                                                              : SCSI_XFER_WRITE;
    task_ptr task(scsi_create_task(command.cdb_length, cdb, direction, length));
    if (!task || length == 0) return task;
    int added = direction == SCSI_XFER_READ ? scsi_task_add_data_in_buffer(task.get(), length, command.data)
                                            : scsi_task_add_data_out_buffer(task.get(), length, command.data);
    if (added != 0) task.reset();
    return task;
}

// The sense bytes of a CHECK CONDITION: libiscsi 1.19 keeps them raw behind a 2-byte length.
uint32_t copy_sense(const scsi_task& task, const scsi_command_t& command) {
    if (command.sense == nullptr || task.datain.data == nullptr || task.datain.size < 2) return 0;
    size_t sent = static_cast<size_t>(task.datain.data[0]) << 8 | task.datain.data[1];
    size_t length = std::min({sent, static_cast<size_t>(task.datain.size) - sense_length_prefix,
                              static_cast<size_t>(command.sense_capacity)});
    std::copy_n(task.datain.data + sense_length_prefix, length, command.sense);
    return static_cast<uint32_t>(length);
}

// libiscsi sends data with writev, which raises SIGPIPE when the target has reset the connection.
// The signal is held back while the session is serviced and, unless it was pending before,
// discarded: the broken session is reported as an error instead.
class sigpipe_guard_t {
public:
    sigpipe_guard_t() {
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);
    }
    sigpipe_guard_t(const sigpipe_guard_t&) = delete;
    sigpipe_guard_t& operator=(const sigpipe_guard_t&) = delete;
    ~sigpipe_guard_t() {
        timespec no_wait = {0, 0};
        while (!was_pending && sigtimedwait(&pipe_only, nullptr, &no_wait) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

private:
    sigset_t pipe_only;
    sigset_t previous;
    bool was_pending = false;
};

// As the target reports it; tgt's residue after CHECK CONDITION is not to be trusted, which is
// why records are measured by their sense data.
uint32_t transferred(const scsi_task& task, uint32_t requested) {
    if (task.residual_status != SCSI_RESIDUAL_UNDERFLOW) return requested;
    return task.residual >= requested ? 0 : requested - static_cast<uint32_t>(task.residual);
}

class iscsi_device_t : public scsi_device_t {
public:
    iscsi_device_t(context_ptr context, int lun, int silence_seconds)
        : context(std::move(context)), lun(lun), silence_ms(silence_seconds * 1000) {}

    scsi_reply_t execute(const scsi_command_t& command) override {
        scsi_reply_t reply;
        reply.error = context ? check_command(command) : ERROR_DEVICE_NOT_CONNECTED;
        if (reply.error != NO_ERROR) return reply;
        task_ptr task = make_task(command);
        if (!task) {
            reply.error = ERROR_NOT_ENOUGH_MEMORY;
            return reply;
        }
        reply.error = run(*task, command.timeout_seconds);
        if (reply.error != NO_ERROR) return reply;
        reply.status = static_cast<uint8_t>(task->status);
        if (task->status == SCSI_STATUS_CHECK_CONDITION) reply.sense_length = copy_sense(*task, command);
        reply.data_transferred = transferred(*task, command.data_length);
        return reply;
    }

private:
    DWORD run(scsi_task& task, uint32_t timeout_seconds) {
        uint32_t seconds = timeout_seconds == 0 ? default_timeout_seconds : timeout_seconds;
        iscsi_set_timeout(context.get(), static_cast<int>(std::min<uint32_t>(seconds, INT_MAX)));
        completion = completion_t{};
        sigpipe_guard_t guard;
        if (iscsi_scsi_command_async(context.get(), lun, &task, command_done, nullptr, &completion) != 0) {
            return close_session(ERROR_IO_DEVICE);
        }
        if (!wait_for_completion()) return close_session(ERROR_IO_DEVICE);
        if (completion.status == SCSI_STATUS_TIMEOUT) return close_session(ERROR_SEM_TIMEOUT);
        if (completion.status < 0 || completion.status > UCHAR_MAX) return close_session(ERROR_IO_DEVICE);
        return NO_ERROR;
    }

    // False when the session broke, or stayed silent too long, before the command completed.
    bool wait_for_completion() {
        using clock = std::chrono::steady_clock;
        const int ping_ms = silence_ms / pings_per_timeout;
        clock::time_point last_heard = clock::now(), last_ping = last_heard;
        while (!completion.done) {
            pollfd socket = {iscsi_get_fd(context.get()), static_cast<short>(iscsi_which_events(context.get())), 0};
            if (socket.events == 0) return false;  // only while reconnecting, which is switched off
            int ready = poll(&socket, 1, std::min(poll_interval_ms, ping_ms));
            if (ready < 0 && errno == EINTR) continue;
            const clock::time_point now = clock::now();
            if (ready > 0 && (socket.revents & POLLIN) != 0) last_heard = now;
            if (ready < 0 || iscsi_service(context.get(), ready == 0 ? 0 : socket.revents) < 0) return false;
            if (completion.done) break;
            if (now - last_heard >= std::chrono::milliseconds(silence_ms)) return false;
            if (now - last_heard >= std::chrono::milliseconds(ping_ms) &&
                now - last_ping >= std::chrono::milliseconds(ping_ms)) {
                iscsi_nop_out_async(context.get(), nullptr, nullptr, 0, nullptr);  // libiscsi only counts it
                last_ping = now;
            }
        }
        return true;
    }

    // Destroying the context cancels the command in flight; its task is freed only after that.
    DWORD close_session(DWORD error) {
        context.reset();
        return error;
    }

    completion_t completion;  // declared before the context: it must outlive it
    context_ptr context;
    int lun;
    int silence_ms;
};

// A fresh login reports UNIT ATTENTION (power on, reset) to the first commands; TEST UNIT READY
// takes them, as libiscsi's full connect does, so the program's first command meets the drive.
bool clear_unit_attentions(scsi_device_t& device) {
    constexpr int max_attentions = 10;
    constexpr uint8_t unit_attention = 0x06;
    for (int attempt = 0; attempt < max_attentions; ++attempt) {
        const uint8_t cdb[6] = {};
        uint8_t sense[32] = {};
        scsi_command_t command;
        command.cdb = cdb, command.cdb_length = sizeof cdb, command.sense = sense, command.sense_capacity = sizeof sense;
        const scsi_reply_t reply = device.execute(command);
        if (reply.error != NO_ERROR) return false;
        if (reply.status != SCSI_STATUS_CHECK_CONDITION || reply.sense_length < 3 || (sense[2] & 0x0F) != unit_attention) {
            return true;
        }
    }
    return true;
}

}  // namespace

DWORD open_iscsi_device(const char* device_string, std::unique_ptr<scsi_device_t>& device) {
    iscsi_address_t address;
    DWORD error = parse_iscsi_url(device_string, address);
    if (error != NO_ERROR) return error;
    context_ptr context(iscsi_create_context(initiator_name));
    if (!context) return ERROR_NOT_ENOUGH_MEMORY;
    iscsi_set_session_type(context.get(), ISCSI_SESSION_NORMAL);
    iscsi_set_header_digest(context.get(), ISCSI_HEADER_DIGEST_NONE_CRC32C);
    iscsi_set_targetname(context.get(), address.target.c_str());
    // Replaying commands after a reconnect could write a record twice on a tape.
    iscsi_set_noautoreconnect(context.get(), 1);
    iscsi_set_timeout(context.get(), address.timeout_seconds);  // a portal that accepts but never answers
    // Connect and log in step by step: libiscsi's full connect leaks its own state when the target
    // dies during the login.
    {
        sigpipe_guard_t guard;
        if (iscsi_connect_sync(context.get(), address.portal.c_str()) != 0 || iscsi_login_sync(context.get()) != 0) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
    }
    auto opened = std::make_unique<iscsi_device_t>(std::move(context), address.lun, address.timeout_seconds);
    if (!clear_unit_attentions(*opened)) return ERROR_DEVICE_NOT_CONNECTED;
    device = std::move(opened);
    return NO_ERROR;
}

}  // namespace posix
