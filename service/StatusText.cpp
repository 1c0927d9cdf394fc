#include "StatusText.h"

#include <blocks/StatusBlock.h>

namespace bwservice {

std::string buildStatusText(const vci_status& s, const std::string& testIP)
{
    blocks::StatusValues v;
    v.SN = s.serial;
    v.testIP = testIP;
    v.vciIP = s.ip.empty() ? testIP : s.ip;
    v.softVer = s.softVer;
    v.FirmwareVersion = s.firmwareVersion;
    v.portNumber = s.portNumber;
    v.key = s.key;
    v.status = s.status;
    v.vbatt = s.vbatt;
    v.DllVersion = s.dllVersion;
    v.connType = s.connType;
    return blocks::composeStatusText(v);
}

} // namespace bwservice
