// Connectivity from the Network List Manager (INetworkListManager::IsConnectedToInternet,
// the get_IsConnectedToInternet property of the SDK headers), the Winsock resolver and one
// ICMP echo through the IP Helper API.
#include "platform/Network.h"
#include "platform/Sockets.h"

// Order matters: Winsock before windows.h, iphlpapi.h before icmpapi.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <icmpapi.h>
#include <netlistmgr.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {
namespace {

// The ICMP handle lives as long as the process; a failed open is retried on
// the next call.
std::mutex g_icmpMutex;
HANDLE g_icmp = INVALID_HANDLE_VALUE;

HANDLE icmpHandle()
{
    std::lock_guard<std::mutex> lock(g_icmpMutex);
    if (g_icmp == INVALID_HANDLE_VALUE)
        g_icmp = ::IcmpCreateFile();
    return g_icmp;
}

} // namespace

void setRouteTableDirectory(const std::string&)
{
}

bool systemReportsInternet()
{
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool connected = false;
    INetworkListManager* manager = nullptr;
    if (SUCCEEDED(::CoCreateInstance(
            CLSID_NetworkListManager, nullptr, CLSCTX_ALL, IID_INetworkListManager, reinterpret_cast<void**>(&manager)))
        && manager) {
        VARIANT_BOOL answer = VARIANT_FALSE;
        connected = SUCCEEDED(manager->IsConnectedToInternet(&answer)) && answer == VARIANT_TRUE;
        manager->Release();
    }
    if (SUCCEEDED(init))
        ::CoUninitialize();
    return connected;
}

bool icmpEcho(const std::string& ipv4, unsigned timeoutMs, unsigned long& rttMs)
{
    in_addr address{};
    if (!startSockets() || ::inet_pton(AF_INET, ipv4.c_str(), &address) != 1 || address.s_addr == INADDR_NONE)
        return false;
    HANDLE icmp = icmpHandle();
    if (icmp == INVALID_HANDLE_VALUE)
        return false;
    char request[32] = {};
    std::memcpy(request, "Data buffer", sizeof "Data buffer");
    // Room for the reply header, the echoed data and an ICMP error: 60 bytes
    // are enough for a 32-bit process, a 64-bit one needs a larger header.
    std::vector<unsigned char> reply(std::max<std::size_t>(60, sizeof(ICMP_ECHO_REPLY) + sizeof request + 8));
    const DWORD count = ::IcmpSendEcho(icmp, address.s_addr, request, sizeof request, nullptr, reply.data(),
        static_cast<DWORD>(reply.size()), timeoutMs);
    if (count == 0)
        return false;
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    if (echo->Status != IP_SUCCESS)
        return false;
    rttMs = echo->RoundTripTime;
    return true;
}

} // namespace platform
