#pragma once
// The process's table of kernel-object handles made by this layer (COM ports, events).
// Handle values are never INVALID_HANDLE_VALUE or nullptr and are not reused, so a stale
// handle fails with ERROR_INVALID_HANDLE instead of reaching a newer object.
#include <memory>

#include "win32/types.h"

namespace serial {

class HandleObject {
public:
    virtual ~HandleObject() = default;
    // Releases the object's resources when its handle is closed.
    virtual void Close() {}
};

HANDLE AddHandle(std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> FindHandle(HANDLE handle);
// Removes the handle and returns its object; nullptr when the handle is not in the table.
std::shared_ptr<HandleObject> RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> FindHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

}  // namespace serial
