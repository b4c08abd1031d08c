// VirtualAlloc and VirtualFree over anonymous mappings, which come page-aligned and zeroed.
#include <sys/mman.h>

#include <mutex>
#include <unordered_map>

#include "platform/posix/errors.h"

namespace {

// munmap needs the length that VirtualFree(MEM_RELEASE) does not pass.
struct mapping_table_t {
    std::mutex lock;
    std::unordered_map<void*, size_t> sizes;
};

mapping_table_t& mapping_table()
{
    static mapping_table_t table;
    return table;
}

bool supported_allocation(LPVOID address, SIZE_T size, DWORD allocation_type, DWORD protect)
{
    // Reserving without committing and placing at a chosen address are not used by the program.
    return address == nullptr && size != 0 && (allocation_type & MEM_COMMIT) != 0 &&
           (allocation_type & ~(MEM_COMMIT | MEM_RESERVE)) == 0 && protect == PAGE_READWRITE;
}

}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocation_type, DWORD protect)
{
    if (!supported_allocation(address, size, allocation_type, protect)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    mapping_table_t& table = mapping_table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.sizes[block] = size;
    return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD free_type)
{
    if (free_type != MEM_RELEASE || size != 0) return posix::fail(ERROR_INVALID_PARAMETER);
    mapping_table_t& table = mapping_table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.sizes.find(address);
    if (found == table.sizes.end()) return posix::fail(ERROR_INVALID_ADDRESS);
    munmap(found->first, found->second);
    table.sizes.erase(found);
    return TRUE;
}
