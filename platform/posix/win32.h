// The Win32 declarations the program uses, implemented over POSIX in this folder.
#pragma once

#include <arpa/inet.h>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int BOOL;
typedef uint8_t BOOLEAN;
typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef uint16_t USHORT;
typedef uint16_t WORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* PVOID;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
} LARGE_INTEGER;
typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    uint64_t QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_TYPE_UNKNOWN 0u
#define FILE_TYPE_DISK 1u
#define FILE_TYPE_CHAR 2u
#define FILE_TYPE_PIPE 3u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_WRITE_THROUGH 0x8u

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

// Error codes, with the values Windows gives them.
#define NO_ERROR 0u
#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_DATA 13u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_BAD_UNIT 20u
#define ERROR_NOT_READY 21u
#define ERROR_BAD_COMMAND 22u
#define ERROR_CRC 23u
#define ERROR_BAD_LENGTH 24u
#define ERROR_SEEK 25u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_LOCK_VIOLATION 33u
#define ERROR_HANDLE_EOF 38u
#define ERROR_HANDLE_DISK_FULL 39u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_NETNAME_DELETED 64u
#define ERROR_DEV_NOT_EXIST 55u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_BUFFER_OVERFLOW 111u
#define ERROR_DISK_FULL 112u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_SEEK_ON_DEVICE 132u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BUSY 170u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_MORE_DATA 234u
#define ERROR_DIRECTORY 267u
#define ERROR_MR_MID_NOT_FOUND 317u
#define ERROR_INVALID_ADDRESS 487u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_END_OF_MEDIA 1100u
#define ERROR_FILEMARK_DETECTED 1101u
#define ERROR_BEGINNING_OF_MEDIA 1102u
#define ERROR_SETMARK_DETECTED 1103u
#define ERROR_NO_DATA_DETECTED 1104u
#define ERROR_PARTITION_FAILURE 1105u
#define ERROR_INVALID_BLOCK_LENGTH 1106u
#define ERROR_DEVICE_NOT_PARTITIONED 1107u
#define ERROR_UNABLE_TO_LOCK_MEDIA 1108u
#define ERROR_UNABLE_TO_UNLOAD_MEDIA 1109u
#define ERROR_MEDIA_CHANGED 1110u
#define ERROR_BUS_RESET 1111u
#define ERROR_NO_MEDIA_IN_DRIVE 1112u
#define ERROR_IO_DEVICE 1117u
#define ERROR_EOM_OVERFLOW 1129u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_NOT_FOUND 1168u
#define ERROR_CONNECTION_REFUSED 1225u
#define ERROR_NETWORK_UNREACHABLE 1231u
#define ERROR_HOST_UNREACHABLE 1232u
#define ERROR_INVALID_USER_BUFFER 1784u
#define ERROR_CANT_RESOLVE_FILENAME 1921u
#define ERROR_TIMEOUT 1460u

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

// Of this the program reads the attributes and the identity: a file is one volume serial number
// and file index (on Linux its device and inode).
typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesA(LPCSTR name);
// For a device handle: the file behind the drive (a virtual tape's medium, a kernel node).
BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information);
// Renames a file; over an existing one only with MOVEFILE_REPLACE_EXISTING. MOVEFILE_WRITE_THROUGH
// returns once the rename is on the disk.
BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE handle, LONG distance_low, PLONG distance_high, DWORD method);
BOOL SetEndOfFile(HANDLE handle);
// What a handle reaches: FILE_TYPE_DISK for a file that can seek, PIPE for a pipe or socket, CHAR for
// a terminal or a device.
DWORD GetFileType(HANDLE handle);
BOOL FlushFileBuffers(HANDLE handle);
// Free and total bytes of the file system holding directory (the current one when null).
BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER free_to_caller, PULARGE_INTEGER total,
                         PULARGE_INTEGER total_free);
DWORD GetLastError(void);
void SetLastError(DWORD code);
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocation_type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD free_type);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                     DWORD size, va_list* arguments);
BOOL DeviceIoControl(HANDLE device, DWORD control_code, LPVOID in_buffer, DWORD in_size, LPVOID out_buffer,
                     DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped);

// The console: Linux terminals take escape sequences as they are, so there is no console mode to set.
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004u
// Standard input, output or error as a handle that stays open for the whole process.
HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);  // FALSE: not a console
BOOL SetConsoleMode(HANDLE console, DWORD mode);

// The C runtime's extensions.
char* _strlwr(char* text);
int64_t _ftelli64(FILE* stream);
int _fileno(FILE* stream);
int _isatty(int descriptor);  // non-zero for a terminal
// fopen that sets the last error on failure, as the Windows runtime's does.
FILE* brx_fopen(const char* name, const char* mode);
#define fopen brx_fopen

// SCSI pass-through, laid out as on 64-bit Windows (56 bytes; DataBuffer at 24, SenseInfoOffset at 32, Cdb at 36).
#define IOCTL_SCSI_PASS_THROUGH_DIRECT 0x4D014u
#define SCSI_IOCTL_DATA_OUT 0
#define SCSI_IOCTL_DATA_IN 1
#define SCSI_IOCTL_DATA_UNSPECIFIED 2

typedef struct _SCSI_PASS_THROUGH_DIRECT {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    PVOID DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
} SCSI_PASS_THROUGH_DIRECT;

// The adapter's limits: the posix layer gives MaximumTransferLength per transport.
#define IOCTL_SCSI_GET_CAPABILITIES 0x41010u

typedef struct _IO_SCSI_CAPABILITIES {
    ULONG Length;
    ULONG MaximumTransferLength;
    ULONG MaximumPhysicalPages;
    ULONG SupportedAsynchronousEvents;
    ULONG AlignmentMask;
    BOOLEAN TaggedQueuing;
    BOOLEAN AdapterScansDown;
    BOOLEAN AdapterUsesPio;
} IO_SCSI_CAPABILITIES;

// The tape API.
#define GET_TAPE_MEDIA_INFORMATION 0u
#define GET_TAPE_DRIVE_INFORMATION 1u
#define SET_TAPE_MEDIA_INFORMATION 0u
#define SET_TAPE_DRIVE_INFORMATION 1u

#define TAPE_REWIND 0u
#define TAPE_ABSOLUTE_BLOCK 1u
#define TAPE_LOGICAL_BLOCK 2u
#define TAPE_PSEUDO_LOGICAL_BLOCK 3u
#define TAPE_SPACE_END_OF_DATA 4u
#define TAPE_SPACE_RELATIVE_BLOCKS 5u
#define TAPE_SPACE_FILEMARKS 6u
#define TAPE_SPACE_SEQUENTIAL_FMKS 7u
#define TAPE_SPACE_SETMARKS 8u
#define TAPE_SPACE_SEQUENTIAL_SMKS 9u

#define TAPE_ABSOLUTE_POSITION 0u
#define TAPE_LOGICAL_POSITION 1u
#define TAPE_PSEUDO_LOGICAL_POSITION 2u

#define TAPE_SETMARKS 0u
#define TAPE_FILEMARKS 1u
#define TAPE_SHORT_FILEMARKS 2u
#define TAPE_LONG_FILEMARKS 3u

#define TAPE_LOAD 0u
#define TAPE_UNLOAD 1u
#define TAPE_TENSION 2u
#define TAPE_LOCK 3u
#define TAPE_UNLOCK 4u
#define TAPE_FORMAT 5u

#define TAPE_ERASE_SHORT 0u
#define TAPE_ERASE_LONG 1u

#define TAPE_DRIVE_COMPRESSION 0x00020000u
#define TAPE_DRIVE_PADDING 0x00040000u
#define TAPE_DRIVE_REPORT_SMKS 0x00080000u
#define TAPE_DRIVE_SET_COMPRESSION 0x80000200u
#define TAPE_DRIVE_SET_PADDING 0x80000400u
#define TAPE_DRIVE_SET_REPORT_SMKS 0x80000800u

typedef struct _TAPE_GET_DRIVE_PARAMETERS {
    BOOLEAN ECC;
    BOOLEAN Compression;
    BOOLEAN DataPadding;
    BOOLEAN ReportSetmarks;
    DWORD DefaultBlockSize;
    DWORD MaximumBlockSize;
    DWORD MinimumBlockSize;
    DWORD MaximumPartitionCount;
    DWORD FeaturesLow;
    DWORD FeaturesHigh;
    DWORD EOTWarningZoneSize;
} TAPE_GET_DRIVE_PARAMETERS;

typedef struct _TAPE_SET_DRIVE_PARAMETERS {
    BOOLEAN ECC;
    BOOLEAN Compression;
    BOOLEAN DataPadding;
    BOOLEAN ReportSetmarks;
    DWORD EOTWarningZoneSize;
} TAPE_SET_DRIVE_PARAMETERS;

typedef struct _TAPE_GET_MEDIA_PARAMETERS {
    LARGE_INTEGER Capacity;
    LARGE_INTEGER Remaining;
    DWORD BlockSize;
    DWORD PartitionCount;
    BOOLEAN WriteProtected;
} TAPE_GET_MEDIA_PARAMETERS;

typedef struct _TAPE_SET_MEDIA_PARAMETERS {
    DWORD BlockSize;
} TAPE_SET_MEDIA_PARAMETERS;

DWORD GetTapeParameters(HANDLE device, DWORD operation, LPDWORD size, LPVOID information);
DWORD SetTapeParameters(HANDLE device, DWORD operation, LPVOID information);
DWORD SetTapePosition(HANDLE device, DWORD method, DWORD partition, DWORD offset_low, DWORD offset_high,
                      BOOL immediate);
DWORD GetTapePosition(HANDLE device, DWORD position_type, LPDWORD partition, LPDWORD offset_low,
                      LPDWORD offset_high);
DWORD WriteTapemark(HANDLE device, DWORD tapemark_type, DWORD count, BOOL immediate);
DWORD PrepareTape(HANDLE device, DWORD operation, BOOL immediate);
DWORD EraseTape(HANDLE device, DWORD erase_type, BOOL immediate);
