// The system's English message texts for the codes this layer and the program can meet.
#include "platform/posix/message_texts.h"

namespace posix {
namespace {

// Wording as Windows has it; the line break is Linux's "\n" where Windows ends with "\r\n".
constexpr message_text_t message_texts[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file.\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\n"},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\n"},
    {ERROR_WRITE_PROTECT, "The media is write protected.\n"},
    {ERROR_BAD_UNIT, "The system cannot find the device specified.\n"},
    {ERROR_NOT_READY, "The device is not ready.\n"},
    {ERROR_BAD_COMMAND, "The device does not recognize the command.\n"},
    {ERROR_CRC, "Data error (cyclic redundancy check).\n"},
    {ERROR_BAD_LENGTH, "The program issued a command but the command length is incorrect.\n"},
    {ERROR_SEEK, "The drive cannot locate a specific area or track on the disk.\n"},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device.\n"},
    {ERROR_READ_FAULT, "The system cannot read from the specified device.\n"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\n"},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\n"},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the file.\n"},
    {ERROR_HANDLE_EOF, "Reached the end of the file.\n"},
    {ERROR_HANDLE_DISK_FULL, "The disk is full.\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\n"},
    {ERROR_DEV_NOT_EXIST, "The specified network resource or device is no longer available.\n"},
    {ERROR_NETNAME_DELETED, "The specified network name is no longer available.\n"},
    {ERROR_FILE_EXISTS, "The file exists.\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\n"},
    {ERROR_BROKEN_PIPE, "The pipe has been ended.\n"},
    {ERROR_BUFFER_OVERFLOW, "The file name is too long.\n"},
    {ERROR_DISK_FULL, "There is not enough space on the disk.\n"},
    {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired.\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\n"},
    {ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file.\n"},
    {ERROR_SEEK_ON_DEVICE, "The file pointer cannot be set on the specified device or file.\n"},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty.\n"},
    {ERROR_BUSY, "The requested resource is in use.\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\n"},
    {ERROR_MORE_DATA, "More data is available.\n"},
    {ERROR_DIRECTORY, "The directory name is invalid.\n"},
    {ERROR_INVALID_ADDRESS, "Attempt to access invalid address.\n"},
    {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted because of either a thread exit or an application request.\n"},
    {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state.\n"},
    {ERROR_END_OF_MEDIA, "The physical end of the tape has been reached.\n"},
    {ERROR_FILEMARK_DETECTED, "A tape access reached a filemark.\n"},
    {ERROR_BEGINNING_OF_MEDIA, "The beginning of the tape or a partition was encountered.\n"},
    {ERROR_SETMARK_DETECTED, "A tape access reached the end of a set of files.\n"},
    {ERROR_NO_DATA_DETECTED, "No more data is on the tape.\n"},
    {ERROR_PARTITION_FAILURE, "Tape could not be partitioned.\n"},
    {ERROR_INVALID_BLOCK_LENGTH,
     "When accessing a new tape of a multivolume partition, the current block size is incorrect.\n"},
    {ERROR_DEVICE_NOT_PARTITIONED, "Tape partition information could not be found when loading a tape.\n"},
    {ERROR_UNABLE_TO_LOCK_MEDIA, "Unable to lock the media eject mechanism.\n"},
    {ERROR_UNABLE_TO_UNLOAD_MEDIA, "Unable to unload the media.\n"},
    {ERROR_MEDIA_CHANGED, "The media in the drive may have changed.\n"},
    {ERROR_BUS_RESET, "The I/O bus was reset.\n"},
    {ERROR_NO_MEDIA_IN_DRIVE, "No media in drive.\n"},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\n"},
    {ERROR_EOM_OVERFLOW, "Physical end of tape encountered.\n"},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected.\n"},
    {ERROR_NOT_FOUND, "Element not found.\n"},
    {ERROR_CONNECTION_REFUSED, "The remote computer refused the network connection.\n"},
    {ERROR_NETWORK_UNREACHABLE,
     "The network location cannot be reached. For information about network troubleshooting, see Windows Help.\n"},
    {ERROR_HOST_UNREACHABLE,
     "The network location cannot be reached. For information about network troubleshooting, see Windows Help.\n"},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired.\n"},
    {ERROR_INVALID_USER_BUFFER, "The supplied user buffer is not valid for the requested operation.\n"},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system.\n"},
};

}  // namespace

const char* message_text(DWORD code)
{
    for (const message_text_t& entry : message_texts)
        if (entry.code == code) return entry.text;
    return nullptr;
}

}  // namespace posix
