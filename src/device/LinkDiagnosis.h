// The "Why?" behind "no adapter found": walks the links between the manager
// and the adapter in order and names, in plain words, the first one that is
// broken. Each check is a probe the caller can replace, so the order and the
// words can be checked with answers of our choosing.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>
#include <string>

class LinkDiagnosis {
    Q_DECLARE_TR_FUNCTIONS(LinkDiagnosis)
public:
    // The checks, in the order they run.
    enum class Check {
        ServiceRunning,     // the background service's process runs
        StatusPublished,    // it publishes the status block
        UsbDevicePresent,   // the adapter's USB device is attached
        UsbEthernetPresent, // the USB-to-Ethernet adapter is there with its link-local address
        AddressAnswers,     // the adapter answers at its address
        DriversInstalled,   // the link drivers are installed
    };
    static constexpr int kCheckCount = 6;

    struct Probes {
        std::function<bool()> serviceRunning;
        std::function<bool()> statusPublished;
        std::function<bool()> usbDevicePresent;
        std::function<bool()> usbEthernetPresent;
        std::function<bool(const std::string& ip)> addressAnswers;
        std::function<bool()> driversInstalled;

        // The machine's answers: the process list, the status block, the
        // platform's USB and adapter lists, one status request to the
        // adapter (bounded by short time-outs), the adapter list's driver.
        static Probes system();
    };

    struct Outcome {
        bool allPassed = false;
        Check broken = Check::ServiceRunning; // valid when !allPassed
        QList<Check> passed;                  // the checks that passed, in order
        QString text;                         // what to tell the user
    };

    // The address the adapter answers at over the USB-to-Ethernet link.
    static constexpr const char* kAdapterAddress = "169.254.100.1";

    explicit LinkDiagnosis(Probes probes);

    // Runs the checks in order and stops at the first that fails. A missing
    // probe counts as failed. Blocks while the probes do (run it off the GUI thread).
    Outcome run(const std::string& address = kAdapterAddress) const;

    // The words for a broken link, and for all links working.
    static QString brokenText(Check check);
    static QString allWorkingText();

private:
    bool passes(Check check, const std::string& address) const;

    Probes m_probes;
};
