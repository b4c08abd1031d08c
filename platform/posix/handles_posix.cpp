// The table of live handles: a HANDLE is valid only between CreateFileA and CloseHandle.
#include <mutex>
#include <unordered_map>

#include "platform/posix/handle_object.h"

namespace posix {
namespace {

struct handle_table_t {
    std::mutex lock;
    std::unordered_map<handle_object_t*, std::unique_ptr<handle_object_t>> objects;
};

// Never destroyed: handles still open at exit are left to the system, as on Windows, and a device
// closing its own handles from a destructor must not find the table gone.
handle_table_t& handle_table()
{
    static handle_table_t* table = new handle_table_t;
    return *table;
}

}  // namespace

HANDLE make_handle(std::unique_ptr<handle_object_t> object)
{
    handle_table_t& table = handle_table();
    std::lock_guard<std::mutex> guard(table.lock);
    handle_object_t* key = object.get();
    table.objects.emplace(key, std::move(object));
    return key;
}

handle_object_t* handle_of(HANDLE handle)
{
    handle_table_t& table = handle_table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find(static_cast<handle_object_t*>(handle));
    return found == table.objects.end() ? nullptr : found->second.get();
}

std::unique_ptr<handle_object_t> release_handle(HANDLE handle)
{
    handle_table_t& table = handle_table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find(static_cast<handle_object_t*>(handle));
    if (found == table.objects.end()) return nullptr;
    std::unique_ptr<handle_object_t> object = std::move(found->second);
    table.objects.erase(found);
    return object;
}

scsi_device_t* device_of(HANDLE handle)
{
    handle_object_t* object = handle_of(handle);
    if (object == nullptr || object->kind != handle_kind_t::device) return nullptr;
    return object->device.get();
}

}  // namespace posix
