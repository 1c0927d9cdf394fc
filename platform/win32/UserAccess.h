// Named objects the service creates for the manager. The service runs as
// LocalSystem, whose default security lets only the system and administrators
// open what it creates; the signed-in technician's manager must read and write
// the blocks and signal the events, so they carry a descriptor that grants
// that (and nothing more: no changing their security) to authenticated users.
#pragma once

#include <windows.h>

#include <sddl.h>

namespace platform {
namespace detail {

class UserAccess {
public:
    UserAccess()
    {
        // System and administrators: everything; authenticated users: read,
        // write, wait.
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGWGX;;;AU)", SDDL_REVISION_1, &m_descriptor, nullptr)) {
            m_attributes.nLength = sizeof m_attributes;
            m_attributes.lpSecurityDescriptor = m_descriptor;
            m_attributes.bInheritHandle = FALSE;
        }
    }
    ~UserAccess()
    {
        if (m_descriptor)
            ::LocalFree(m_descriptor);
    }
    UserAccess(const UserAccess&) = delete;
    UserAccess& operator=(const UserAccess&) = delete;

    // The default security when the descriptor could not be made.
    SECURITY_ATTRIBUTES* attributes() { return m_descriptor ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

} // namespace detail
} // namespace platform
