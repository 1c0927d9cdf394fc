// Start-up housekeeping of the links to the adapter: the background service,
// the sibling product's service, the adapter's USB driver, the virtual
// loopback installer and the USB-to-Ethernet driver (Windows 7 only), plus
// the detection of the USB-to-Ethernet adapter used by the status and hint loops.
//
// Every outside effect goes through LinkEnvironment so that tests can run the
// steps with a fake program directory, process list, OS probe and starter.
//
// Helper scripts are written into a per-user folder (platform::scriptDirectory),
// not next to the program: an installed program's folder is read-only, and a
// script that cannot be written is never started.
#pragma once

#include <platform/OsVersion.h>
#include <platform/ScriptStart.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

constexpr const char* kServiceExecutable = "BrindlewickService";
constexpr const char* kSiblingServiceExecutable = "W82_Brindlewick_SERVICE";
constexpr const char* kUsbEthernetDescription = "Realtek USB FE Family Controller";
// On Linux an adapter's description is its kernel driver; this one drives the same chip.
constexpr const char* kUsbEthernetLinuxDriver = "r8152";

struct LinkEnvironment {
    QString programDir;                                       // the service and the driver installers are found here
    QString scriptDir;                                        // helper scripts are written here
    platform::ScriptKind scriptKind = platform::scriptKind(); // ".bat" or ".sh" scripts
    std::function<bool(const std::string& name)> processRunning;
    std::function<platform::OsVersion()> osVersion;
    std::function<bool()> is64BitSystem; // "C:\Windows\SysWOW64" exists
    // Detached, not waited for; the script runs in workingDir (the program directory).
    std::function<long(const QString& scriptPath, const QString& workingDir)> startScript;
    std::function<long(const QString& program, const QStringList& args)> startProgram;
    std::function<bool(unsigned vendorId, unsigned productId)> usbDevicePresent;
    std::function<bool()> resetCommandBlock; // zero 1..1023, write 0x11

    // The real machine: the application's directory, the per-user script
    // folder, the process list, the OS probe, detached starts and the command block.
    static LinkEnvironment system();
};

// The script texts, exactly as written to disk.
QByteArray startServiceBatch(const QString& programDir);       // "startService.bat"
QByteArray startServiceShellScript(const QString& programDir); // "startService.sh"
QByteArray killSiblingBatch();                                 // "KillW82.bat"
QByteArray killSiblingShellScript();                           // "KillW82.sh"
QByteArray win7DriverBatch(bool is64Bit);                      // "win7Drive.bat" / "win7Drive64.bat"

// Each step alone; true when something was written or started.
bool ensureServiceRunning(const LinkEnvironment& env);
bool stopSiblingService(const LinkEnvironment& env);
bool startLoopbackInstallerIfNeeded(const LinkEnvironment& env);
bool installM5Driver(const LinkEnvironment& env);
bool installWin7UsbEthernetDriver(const LinkEnvironment& env);

// The housekeeping once the window is up, in its order: sibling service stop,
// adapter USB device test with the loopback installer, adapter USB driver,
// command block reset (start-up mode), USB-to-Ethernet driver. The service
// check (ensureServiceRunning) comes earlier, before the window is built.
void runLinkHousekeeping(const LinkEnvironment& env);

// vid and pid as four hexadecimal digits ("A5A5", "2560").
bool isUsbDevicePresent(const QString& vid, const QString& pid);

// True when a USB-to-Ethernet adapter (Realtek description, or the r8152
// driver on Linux) has a link-local 169.254 address. The MAC text (twelve
// lower-case hex digits) of the last such adapter examined goes to macText.
bool adapterPresent(std::string* macText = nullptr);
// Lower-case hex digits of a MAC in any "AA-BB-.." / "aa:bb:.." notation.
std::string macToText(const std::string& mac);
