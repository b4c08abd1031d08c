// Kernel SCSI nodes driven with SG_IO: the command runs on the caller's buffers, errors come back
// in three layers (the ioctl's errno, the adapter and driver status, the SCSI status with sense),
// ranked here in that order.
#include "platform/posix/sg_io_posix.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>

#include "platform/posix/file_open.h"
#include "platform/posix/transports.h"

namespace posix {

namespace {

int system_sg_io(int fd, sg_io_hdr_t* header) { return ioctl(fd, SG_IO, header); }

// Adapter (host) and driver codes of the Linux SCSI midlayer, as SG_IO reports them.
constexpr unsigned host_ok = 0x00;
constexpr unsigned host_time_out = 0x03;
constexpr unsigned driver_code_mask = 0x07;  // 0x08 only says "sense valid", the high nibble is advice
constexpr unsigned driver_time_out = 0x06;

// Windows gives a time-out of 0 no meaning we could copy; one minute covers every short command.
constexpr uint32_t default_timeout_seconds = 60;
constexpr size_t max_cdb_length = 16;

struct errno_code_t {
    int number;
    DWORD code;
};

DWORD lookup(const errno_code_t* table, size_t count, int number, DWORD otherwise) {
    for (size_t i = 0; i < count; ++i) {
        if (table[i].number == number) return table[i].code;
    }
    return otherwise;
}

DWORD open_error(int number) {
    static const errno_code_t table[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},      {ENXIO, ERROR_FILE_NOT_FOUND},      {ENODEV, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},     {EACCES, ERROR_ACCESS_DENIED},      {EPERM, ERROR_ACCESS_DENIED},
        {EROFS, ERROR_ACCESS_DENIED},        {EISDIR, ERROR_ACCESS_DENIED},      {EBUSY, ERROR_SHARING_VIOLATION},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    };
    return lookup(table, std::size(table), number, ERROR_GEN_FAILURE);
}

// The ioctl fails only when the request never reached the device (EINTR included: sg orphans
// the command then, so it is reported, never sent again).
DWORD ioctl_error(int number) {
    static const errno_code_t table[] = {
        {EPERM, ERROR_ACCESS_DENIED},         {EACCES, ERROR_ACCESS_DENIED},       {EINVAL, ERROR_INVALID_PARAMETER},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},    {EBADF, ERROR_INVALID_HANDLE},       {ENOTTY, ERROR_INVALID_FUNCTION},
        {EBUSY, ERROR_BUSY},                  {ENXIO, ERROR_DEVICE_NOT_CONNECTED}, {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
        {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE}, {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    };
    return lookup(table, std::size(table), number, ERROR_IO_DEVICE);
}

DWORD transport_error(const sg_io_hdr_t& header) {
    if (header.host_status == host_time_out) return ERROR_SEM_TIMEOUT;
    if (header.host_status != host_ok) return ERROR_IO_DEVICE;
    unsigned driver = header.driver_status & driver_code_mask;
    if (driver == driver_time_out) return ERROR_SEM_TIMEOUT;
    if (driver != 0) return ERROR_IO_DEVICE;
    return NO_ERROR;
}

DWORD fill_header(const scsi_command_t& command, uint8_t* cdb, sg_io_hdr_t& header) {
    if (command.cdb == nullptr || command.cdb_length == 0 || command.cdb_length > max_cdb_length) {
        return ERROR_INVALID_PARAMETER;
    }
    if (command.data_length > 0 && command.data == nullptr) return ERROR_INVALID_PARAMETER;
    header.interface_id = 'S';
    if (command.data_length == 0) {
        header.dxfer_direction = SG_DXFER_NONE;
    } else if (command.direction == SCSI_IOCTL_DATA_IN) {
        header.dxfer_direction = SG_DXFER_FROM_DEV;
    } else if (command.direction == SCSI_IOCTL_DATA_OUT) {
        header.dxfer_direction = SG_DXFER_TO_DEV;
    } else {
        return ERROR_INVALID_PARAMETER;  // data without a direction: guessing could overwrite a tape
    }
    std::copy_n(command.cdb, command.cdb_length, cdb);
    header.cmd_len = command.cdb_length;
    header.cmdp = cdb;
    header.dxfer_len = command.data_length;
    header.dxferp = command.data_length > 0 ? command.data : nullptr;
    header.sbp = command.sense;
    uint32_t sense_room = command.sense == nullptr ? 0 : std::min<uint32_t>(command.sense_capacity, UCHAR_MAX);
    header.mx_sb_len = static_cast<uint8_t>(sense_room);
    uint32_t seconds = command.timeout_seconds == 0 ? default_timeout_seconds : command.timeout_seconds;
    header.timeout = std::min<uint32_t>(seconds, UINT_MAX / 1000) * 1000;
    return NO_ERROR;
}

scsi_reply_t reply_from(const sg_io_hdr_t& header) {
    scsi_reply_t reply;
    reply.error = transport_error(header);
    if (reply.error != NO_ERROR) return reply;
    reply.status = header.status;
    reply.sense_length = std::min<uint32_t>(header.sb_len_wr, header.mx_sb_len);
    uint32_t resid = header.resid <= 0 ? 0 : std::min(static_cast<uint32_t>(header.resid), header.dxfer_len);
    reply.data_transferred = header.dxfer_len - resid;
    return reply;
}

class sg_io_device_t : public scsi_device_t {
public:
    explicit sg_io_device_t(int fd) : fd(fd) {}
    sg_io_device_t(const sg_io_device_t&) = delete;
    sg_io_device_t& operator=(const sg_io_device_t&) = delete;
    ~sg_io_device_t() override { close(fd); }

    scsi_reply_t execute(const scsi_command_t& command) override {
        sg_io_hdr_t header{};
        uint8_t cdb[max_cdb_length] = {};
        scsi_reply_t reply;
        reply.error = fill_header(command, cdb, header);
        if (reply.error != NO_ERROR) return reply;
        if (sg_io_ioctl(fd, &header) < 0) {
            reply.error = ioctl_error(errno);
            return reply;
        }
        return reply_from(header);
    }

    // The request queue's limit: sg answers BLKSECTGET in bytes; st answers SG_GET_RESERVED_SIZE
    // with the smaller of its reserve and the queue's limit. Neither: no limit known.
    uint32_t max_transfer_length() override {
        int bytes = 0;
        if (ioctl(fd, BLKSECTGET, &bytes) == 0 && bytes > 0) return static_cast<uint32_t>(bytes);
        if (ioctl(fd, SG_GET_RESERVED_SIZE, &bytes) == 0 && bytes > 0) return static_cast<uint32_t>(bytes);
        return UINT32_MAX;
    }

    bool file_information(BY_HANDLE_FILE_INFORMATION& information) override {
        struct stat status {};
        if (fstat(fd, &status) != 0) return false;
        describe_file(status, information);
        return true;
    }

private:
    int fd;
};

}  // namespace

int (*sg_io_ioctl)(int fd, sg_io_hdr_t* header) = system_sg_io;

// O_NONBLOCK: st then opens without a loaded tape (as a Windows tape handle does) and sg never
// waits on its read queue; the SG_IO call itself always blocks until the command completes.
// An st node still rewinds on close unless it is the n-variant (/dev/nstN).
DWORD open_kernel_device(const char* path, std::unique_ptr<scsi_device_t>& device) {
    int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return open_error(errno);
    device = std::make_unique<sg_io_device_t>(fd);
    return NO_ERROR;
}

}  // namespace posix
