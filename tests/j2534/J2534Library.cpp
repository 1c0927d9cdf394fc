#include "J2534Library.h"

#include <cstring>
#include <dlfcn.h>

namespace {
template <typename F>
bool bind(void* handle, const char* name, F& out, std::string* error)
{
    out = reinterpret_cast<F>(::dlsym(handle, name));
    if (!out)
        *error = std::string("no export ") + name;
    return out != nullptr;
}
} // namespace

bool J2534Library::load()
{
    const std::string path = std::string(BW_TEST_BIN_DIR) + "/BrindlewickJ2534.so";
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        m_error = ::dlerror();
        return false;
    }
    return bind(m_handle, "PassThruOpen", Open, &m_error) && bind(m_handle, "PassThruClose", Close, &m_error)
        && bind(m_handle, "PassThruConnect", Connect, &m_error)
        && bind(m_handle, "PassThruDisconnect", Disconnect, &m_error)
        && bind(m_handle, "PassThruReadMsgs", ReadMsgs, &m_error)
        && bind(m_handle, "PassThruWriteMsgs", WriteMsgs, &m_error)
        && bind(m_handle, "PassThruStartPeriodicMsg", StartPeriodicMsg, &m_error)
        && bind(m_handle, "PassThruStopPeriodicMsg", StopPeriodicMsg, &m_error)
        && bind(m_handle, "PassThruStartMsgFilter", StartMsgFilter, &m_error)
        && bind(m_handle, "PassThruStopMsgFilter", StopMsgFilter, &m_error)
        && bind(m_handle, "PassThruSetProgrammingVoltage", SetProgrammingVoltage, &m_error)
        && bind(m_handle, "PassThruReadVersion", ReadVersion, &m_error)
        && bind(m_handle, "PassThruGetLastError", GetLastError, &m_error)
        && bind(m_handle, "PassThruIoctl", Ioctl, &m_error);
}

std::string J2534Library::lastError() const
{
    char text[80];
    std::memset(text, 'x', sizeof text);
    if (GetLastError(text) != STATUS_NOERROR)
        return "(GetLastError failed)";
    if (!std::memchr(text, '\0', sizeof text))
        return "(not terminated within 80 characters)";
    return text;
}

PASSTHRU_MSG canMessage(
    unsigned long protocol, unsigned long id, std::initializer_list<unsigned char> data, unsigned long txFlags)
{
    PASSTHRU_MSG m;
    std::memset(&m, 0, sizeof m);
    m.ProtocolID = protocol;
    m.TxFlags = txFlags;
    m.Data[0] = static_cast<unsigned char>(id >> 24);
    m.Data[1] = static_cast<unsigned char>(id >> 16);
    m.Data[2] = static_cast<unsigned char>(id >> 8);
    m.Data[3] = static_cast<unsigned char>(id);
    std::size_t n = 4;
    for (const unsigned char b : data)
        m.Data[n++] = b;
    m.DataSize = n;
    return m;
}
