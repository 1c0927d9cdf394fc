// Network adapters from GetAdaptersInfo.
#include "../common/Detail.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstdio>

namespace platform::detail {

std::vector<NetAdapter> systemAdapters()
{
    std::vector<NetAdapter> adapters;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    DWORD rc = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the calls; ask again with the size reported.
    for (int attempt = 0; attempt < 5 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size, 0);
        rc = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    }
    if (rc != ERROR_SUCCESS)
        return adapters;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); a; a = a->Next) {
        NetAdapter adapter;
        adapter.name = a->AdapterName;
        adapter.description = a->Description;
        for (UINT i = 0; i < a->AddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
            char part[4];
            std::snprintf(part, sizeof part, i ? "-%02X" : "%02X", a->Address[i]);
            adapter.mac += part;
        }
        const std::string ip = a->IpAddressList.IpAddress.String;
        if (ip != "0.0.0.0")
            adapter.ipv4 = ip;
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

} // namespace platform::detail
