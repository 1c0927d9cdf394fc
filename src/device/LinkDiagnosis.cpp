#include "device/LinkDiagnosis.h"

#include "device/LinkDrivers.h"
#include "device/ServiceWatch.h"
#include "device/VciStatusRecord.h"

#include "MT7628Config.h"

#include <platform/NetAdapters.h>
#include <platform/ServiceControl.h>

namespace {

// Short enough that the whole walk ends within a few seconds.
constexpr int kConnectTimeoutMs = 1000;
constexpr int kReplyTimeoutMs = 1500;

bool usbEthernetDriverLoaded()
{
    for (const platform::NetAdapter& a : platform::listAdapters()) {
        if (a.description == kUsbEthernetDescription || a.description == kUsbEthernetLinuxDriver)
            return true;
    }
    return false;
}

} // namespace

LinkDiagnosis::Probes LinkDiagnosis::Probes::system()
{
    Probes p;
    p.serviceRunning = [] { return platform::serviceRunning(kServiceExecutable); };
    p.statusPublished = [] { return statusOwnerAlive() && readStatusBlock().present; };
    p.usbDevicePresent = [] { return isUsbDevicePresent(QStringLiteral("A5A5"), QStringLiteral("2560")); };
    p.usbEthernetPresent = [] { return adapterPresent(); };
    p.addressAnswers = [](const std::string& ip) {
        MT7628Config config;
        config.setTimeouts(kConnectTimeoutMs, kReplyTimeoutMs);
        vci_status status;
        return config.GetVciStatus(ip, status);
    };
    p.driversInstalled = usbEthernetDriverLoaded;
    return p;
}

LinkDiagnosis::LinkDiagnosis(Probes probes)
    : m_probes(std::move(probes))
{
}

bool LinkDiagnosis::passes(Check check, const std::string& address) const
{
    auto ask = [](const std::function<bool()>& probe) { return probe && probe(); };
    switch (check) {
    case Check::ServiceRunning:
        return ask(m_probes.serviceRunning);
    case Check::StatusPublished:
        return ask(m_probes.statusPublished);
    case Check::UsbDevicePresent:
        return ask(m_probes.usbDevicePresent);
    case Check::UsbEthernetPresent:
        return ask(m_probes.usbEthernetPresent);
    case Check::AddressAnswers:
        return m_probes.addressAnswers && m_probes.addressAnswers(address);
    case Check::DriversInstalled:
        return ask(m_probes.driversInstalled);
    }
    return false;
}

LinkDiagnosis::Outcome LinkDiagnosis::run(const std::string& address) const
{
    Outcome outcome;
    for (int i = 0; i < kCheckCount; ++i) {
        const Check check = static_cast<Check>(i);
        if (!passes(check, address)) {
            outcome.broken = check;
            outcome.text = brokenText(check);
            return outcome;
        }
        outcome.passed << check;
    }
    outcome.allPassed = true;
    outcome.text = allWorkingText();
    return outcome;
}

QString LinkDiagnosis::brokenText(Check check)
{
    switch (check) {
    case Check::ServiceRunning:
        return tr("The Brindlewick background service is not running. Restart the manager; if this stays, "
                  "reinstall it.");
    case Check::StatusPublished:
        return tr("The background service runs but reports no adapter status. Restart the manager so the "
                  "service starts again.");
    case Check::UsbDevicePresent:
        return tr("The computer does not see the adapter on USB. Check the USB cable, try another port and "
                  "make sure the adapter has 12 V power.");
    case Check::UsbEthernetPresent:
        return tr("The adapter's USB network link is missing. Unplug the USB cable, wait five seconds and "
                  "plug it in again.");
    case Check::AddressAnswers:
        return tr("The adapter's network link is up but the adapter does not answer. Wait a minute for it to "
                  "start, or restart it by removing its power.");
    case Check::DriversInstalled:
        return tr("The driver of the adapter's USB network link is not installed. Reinstall the manager to "
                  "install it.");
    }
    return QString();
}

QString LinkDiagnosis::allWorkingText()
{
    return tr("Every link answers: the adapter should appear within a few seconds.");
}
