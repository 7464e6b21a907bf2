// The lock that lets one server run per user. Windows: a named mutex created already owned;
// it existed before when another server of the user holds it. POSIX: an exclusive flock on
// "<name>.lock" in the user's runtime folder, opened close-on-exec (a companion program must not
// inherit it and keep it after the server ended); the file itself is never removed.
//
// The lock is held until the object is destroyed (Windows: the handle closed), and the system
// releases it when the process dies, so a killed server does not block the next one.
#pragma once

#include <cstdint>
#include <string_view>

namespace kov::platform {

class C_InstanceLock {
public:
    enum E_Result {
        ACQUIRED,        // this process holds the lock now
        HELD_ELSEWHERE,  // another process holds it
        FAILED,          // it could not be created or tested
    };

    C_InstanceLock() = default;
    ~C_InstanceLock();
    C_InstanceLock(const C_InstanceLock&) = delete;
    C_InstanceLock& operator=(const C_InstanceLock&) = delete;

    // Takes the lock of that name (UTF-8); never blocks. Call once.
    E_Result acquire(std::string_view name);

private:
    std::intptr_t m_handle = -1;  // the mutex handle or the lock file's descriptor
};

}  // namespace kov::platform
