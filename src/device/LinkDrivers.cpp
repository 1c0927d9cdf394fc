#include "device/LinkDrivers.h"

#include "device/ServiceWatch.h"

#include "device/CommandBlock.h"
#include "device/DeviceLog.h"

#include <platform/NetAdapters.h>
#include <platform/OsConventions.h>
#include <platform/Process.h>
#include <platform/ServiceControl.h>
#include <platform/UsbDevices.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>

#include <cctype>

namespace {

const QByteArray kCrLf("\r\n");

// Single-quoted for /bin/sh: ' becomes '\''.
QByteArray shellQuote(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\'', "'\\''");
    return '\'' + bytes + '\'';
}

QString join(const QString& dir, const QString& name)
{
    if (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Writes a helper script into the script folder and starts it in the program
// directory; a script that cannot be written is not started.
bool writeAndStart(const LinkEnvironment& env, const QString& name, const QByteArray& content)
{
    if (env.scriptDir.isEmpty()) {
        qCWarning(lcDevice) << "no folder to write" << name << "into";
        return false;
    }
    const QString path = join(env.scriptDir, name);
    if (!writeFile(path, content)) {
        qCWarning(lcDevice) << "cannot write" << path;
        return false;
    }
    if (env.startScript && env.startScript(path, env.programDir) == 0)
        qCWarning(lcDevice) << "cannot start" << path;
    return true;
}

bool batchScripts(const LinkEnvironment& env)
{
    return env.scriptKind == platform::ScriptKind::Batch;
}

bool isWindows(const LinkEnvironment& env)
{
    return env.osVersion && env.osVersion().isWindows;
}

unsigned hexId(const QString& text)
{
    bool ok = false;
    const unsigned v = text.toUInt(&ok, 16);
    return ok ? v : 0xFFFFFFFFu;
}

} // namespace

LinkEnvironment LinkEnvironment::system()
{
    LinkEnvironment env;
    env.programDir = QCoreApplication::applicationDirPath();
    env.scriptDir = QFile::decodeName(platform::scriptDirectory().c_str());
    // Where each user runs a service of their own, it runs when its status
    // block's writer holds the block's lock: a process scan would also find
    // the services of other users.
    env.processRunning = [](const std::string& name) {
        return platform::servicePerUser() && name == kServiceExecutable ? statusOwnerAlive()
                                                                        : platform::serviceRunning(name);
    };
    env.osVersion = [] { return platform::osVersion(); };
    env.is64BitSystem = [] { return platform::is64BitSystem(); };
    env.startScript = [](const QString& path, const QString& workingDir) {
        return platform::startDetachedScript(
            QFile::encodeName(path).toStdString(), QFile::encodeName(workingDir).toStdString());
    };
    env.startProgram = [](const QString& program, const QStringList& args) {
        std::vector<std::string> list;
        for (const QString& a : args)
            list.push_back(a.toStdString());
        return platform::startDetached(program.toStdString(), list);
    };
    env.usbDevicePresent = [](unsigned vid, unsigned pid) { return platform::usbDevicePresent(vid, pid); };
    env.resetCommandBlock = [] { return CommandBlock().resetForStartup(); };
    return env;
}

QByteArray startServiceBatch(const QString& programDir)
{
    return QByteArray("sc.exe stop BrindlewickService") + kCrLf + "sc.exe delete BrindlewickService" + kCrLf
        + "sc.exe create BrindlewickService binpath= \"" + programDir.toLocal8Bit()
        + "\\BrindlewickService.exe\" start= auto" + kCrLf + "sc.exe start BrindlewickService";
}

QByteArray startServiceShellScript(const QString& programDir)
{
    const QByteArray dir = shellQuote(programDir);
    return QByteArray("#!/bin/sh\n"
                      "# Starts the background service that sits next to the manager, detached\n"
                      "# from the manager so that it outlives it.\n"
                      "cd ")
        + dir
        + " || exit 1\n"
          "[ -x ./BrindlewickService ] || exit 1\n"
          "setsid ./BrindlewickService </dev/null >/dev/null 2>&1 &\n";
}

QByteArray killSiblingBatch()
{
    return QByteArray("taskkill /f /im W82_Brindlewick_SERVICE.exe");
}

QByteArray killSiblingShellScript()
{
    // Matches the program's file name exactly, as taskkill /im does. One
    // pkill instead of a process per /proc entry: this runs at every start,
    // while the window comes up.
    return QByteArray("#!/bin/sh\n"
                      "# Stops the service of the previous product generation.\n"
                      "pkill -KILL -f '^([^ ]*/)?W82_Brindlewick_SERVICE( |$)'\n"
                      "exit 0\n");
}

QByteArray win7DriverBatch(bool is64Bit)
{
    if (is64Bit)
        return QByteArray(
                   ".\\driveConfig64.exe install \"USB\\VID_0BDA&PID_8152\" .\\usb_lan_realtek\\x64\\rtux64w7.INF")
            + kCrLf;
    return QByteArray(".\\driveConfig.exe install \"USB\\VID_0BDA&PID_8152\" .\\usb_lan_realtek\\x86\\rtux86w7.INF")
        + kCrLf;
}

bool ensureServiceRunning(const LinkEnvironment& env)
{
    if (env.processRunning && env.processRunning(kServiceExecutable))
        return false;
    qCInfo(lcDevice) << "background service not running, starting it";
    if (batchScripts(env))
        return writeAndStart(
            env, QStringLiteral("startService.bat"), startServiceBatch(QDir::toNativeSeparators(env.programDir)));
    return writeAndStart(env, QStringLiteral("startService.sh"), startServiceShellScript(env.programDir));
}

bool stopSiblingService(const LinkEnvironment& env)
{
    if (batchScripts(env))
        return writeAndStart(env, QStringLiteral("KillW82.bat"), killSiblingBatch());
    return writeAndStart(env, QStringLiteral("KillW82.sh"), killSiblingShellScript());
}

bool startLoopbackInstallerIfNeeded(const LinkEnvironment& env)
{
    const bool present = env.usbDevicePresent && env.usbDevicePresent(0xA5A5, 0x2560);
    if (present || !isWindows(env) || env.osVersion().major != 6)
        return false;
    const bool is64 = env.is64BitSystem && env.is64BitSystem();
    const QString installer = env.programDir
        + (is64 ? QStringLiteral("\\VirtualNetLoopback\\x64\\VirtualNetLoopback.exe")
                : QStringLiteral("\\VirtualNetLoopback\\x86\\VirtualNetLoopback_x86.exe"));
    if (!env.startProgram)
        return false;
    // Started with an argument list, so the path needs no quoting.
    return env.startProgram(installer, {QStringLiteral("-d")}) != 0;
}

bool installM5Driver(const LinkEnvironment& env)
{
    const bool is64 = env.is64BitSystem && env.is64BitSystem();
    const QString installer = env.programDir
        + (is64 ? QStringLiteral("/Driver/x64/Driver64.exe") : QStringLiteral("/Driver/x86/Driver.exe"));
    if (!QFileInfo(installer).isFile()) {
        qCInfo(lcDevice) << "no adapter USB driver installer at" << installer;
        return false;
    }
    if (!env.startProgram)
        return false;
    return env.startProgram(installer,
               {QStringLiteral("install"), QStringLiteral("USB\\VID_A5A5&PID_2560"),
                   env.programDir + QStringLiteral("/Driver/M5/OrvaneM5.inf")})
        != 0;
}

bool installWin7UsbEthernetDriver(const LinkEnvironment& env)
{
    // A batch written once marks the driver as installed; earlier versions
    // wrote it next to the program.
    for (const QString& dir : {env.scriptDir, env.programDir}) {
        if (!dir.isEmpty()
            && (QFileInfo::exists(join(dir, QStringLiteral("win7Drive.bat")))
                || QFileInfo::exists(join(dir, QStringLiteral("win7Drive64.bat")))))
            return false;
    }
    if (!isWindows(env))
        return false;
    const platform::OsVersion v = env.osVersion();
    if (v.major != 6 || v.minor != 1)
        return false;
    const bool is64 = env.is64BitSystem && env.is64BitSystem();
    return writeAndStart(
        env, is64 ? QStringLiteral("win7Drive64.bat") : QStringLiteral("win7Drive.bat"), win7DriverBatch(is64));
}

void runLinkHousekeeping(const LinkEnvironment& env)
{
    stopSiblingService(env);
    startLoopbackInstallerIfNeeded(env);
    installM5Driver(env);
    if (env.resetCommandBlock && !env.resetCommandBlock())
        qCInfo(lcDevice) << "command block not there yet; start-up mode not posted";
    installWin7UsbEthernetDriver(env);
}

bool isUsbDevicePresent(const QString& vid, const QString& pid)
{
    const unsigned v = hexId(vid);
    const unsigned p = hexId(pid);
    if (v > 0xFFFF || p > 0xFFFF)
        return false;
    return platform::usbDevicePresent(v, p);
}

std::string macToText(const std::string& mac)
{
    std::string out;
    for (char c : mac) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

bool adapterPresent(std::string* macText)
{
    for (const platform::NetAdapter& a : platform::listAdapters()) {
        const bool usbEthernet = a.description.find(kUsbEthernetDescription) != std::string::npos
            || a.description == kUsbEthernetLinuxDriver;
        if (!usbEthernet)
            continue;
        if (macText)
            *macText = macToText(a.mac);
        if (a.ipv4.find("169.254") != std::string::npos)
            return true;
    }
    return false;
}
