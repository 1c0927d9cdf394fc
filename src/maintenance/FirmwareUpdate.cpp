#include "maintenance/FirmwareUpdate.h"

#include "device/DeviceProfile.h"

#include <platform/OsConventions.h>

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <fstream>

using firmware::Image;

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("FirmwareUpdate", source);
}

const char* const kUpdating = QT_TRANSLATE_NOOP("FirmwareUpdate", "Updating,please wait...");
const char* const kDownloadFailed
    = QT_TRANSLATE_NOOP("FirmwareUpdate", "Download failed.Please attempt the upgrade process again.");
const char* const kCheckFailed
    = QT_TRANSLATE_NOOP("FirmwareUpdate", "Check failed.Please attempt the upgrade process again.");
const char* const kStartFailed
    = QT_TRANSLATE_NOOP("FirmwareUpdate", "Upgrade process start failed.Please attempt the upgrade process again.");
const char* const kLatest = QT_TRANSLATE_NOOP("FirmwareUpdate", "Congrats,it is already the latest version!");
const char* const kReconnect
    = QT_TRANSLATE_NOOP("FirmwareUpdate", "Reconnect VCI if indicator lights stop flashing to resume update.");
const char* const kNoReturn = QT_TRANSLATE_NOOP(
    "FirmwareUpdate", "The adapter did not come back after the update. Reconnect it, then press Update all again.");

struct Sequence {
    int running, failed, done;
    const char* file;     // in the temporary folder
    const char* upgrader; // next to the program
    int downloadCeiling;  // the download raises the progress up to here
};

constexpr Sequence kSequences[] = {
    {upgrade_state::kSystemRunning, upgrade_state::kSystemFailed, upgrade_state::kSystemDone, "KestrixMT7628.bin",
        "7628_upgrade", 30},
    {upgrade_state::kAppRunning, upgrade_state::kAppFailed, upgrade_state::kAppDone, "KestrixMT7628App.bin",
        "app_upgrade", 50},
    {upgrade_state::kCanRunning, upgrade_state::kCanFailed, upgrade_state::kCanDone, "KestrixM5EFirmWare.bin",
        "can_upgrade", 50},
};

const Sequence& sequenceOf(Image which)
{
    return kSequences[static_cast<std::size_t>(which)];
}

std::vector<unsigned char> readHead(const std::string& path)
{
    std::vector<unsigned char> head(firmware::kHeaderSize, 0);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

} // namespace

FirmwareUpdate::FirmwareUpdate(Hooks hooks, std::string tempDir, std::string programDir)
    : m_hooks(std::move(hooks))
    , m_tempDir(std::move(tempDir))
    , m_programDir(std::move(programDir))
{
}

bool FirmwareUpdate::updatable(const VciStatusRecord& record)
{
    const std::string sn(record.SN);
    if (sn.empty())
        return false;
    const bool boot = std::string(record.FirmwareVersion).find("boot") != std::string::npos;
    return isKeyProgrammerSerial(record.SN) || boot || sn == "0000000000000000";
}

void FirmwareUpdate::queryVersions(const VciStatusRecord& record, bool internetOk)
{
    const firmware::TypeNames names = updatable(record)
        ? firmware::firmwareTypeNames(record.FirmwareVersion, record.portNumber, isKeyProgrammerSerial(record.SN))
        : firmware::TypeNames{};
    const std::string current[3] = {record.softVer, record.DllVersion, record.FirmwareVersion};
    for (Image which : {Image::System, Image::Application, Image::Can}) {
        ImageState& s = m_images[index(which)];
        s.typeName = names.of(which);
        s.current = current[index(which)];
        s.latest = LatestFirmware();
        if (s.typeName.empty()) {
            s.query = Query::NotAsked;
            continue;
        }
        if (!internetOk || !m_hooks.queryLatest || !m_hooks.queryLatest(s.typeName, s.current, s.latest)) {
            s.query = Query::Failed;
            continue;
        }
        s.query = firmware::versionNumber(s.latest.versionNo) == firmware::versionNumber(s.current)
            ? Query::Latest
            : Query::UpdateAvailable;
    }
}

bool FirmwareUpdate::hasImages() const
{
    for (const ImageState& s : m_images)
        if (!s.typeName.empty())
            return true;
    return false;
}

std::string FirmwareUpdate::upgraderProgram(const std::string& programDir, Image which)
{
    return programDir + "/" + sequenceOf(which).upgrader + platform::programSuffix();
}

void FirmwareUpdate::say(int state, int progress, const QString& message) const
{
    if (m_hooks.report)
        m_hooks.report(SignalsUpgradeInfo_struct{state, progress, message});
}

bool FirmwareUpdate::updateAll(const std::string& vciIP)
{
    for (Image which : {Image::System, Image::Application, Image::Can}) {
        ImageState& s = m_images[index(which)];
        if (s.done || s.typeName.empty())
            continue;
        if (!runImage(which, vciIP))
            return false;
        s.done = true;
    }
    return true;
}

bool FirmwareUpdate::download(Image which, const std::string& path, int& progress, int ceiling)
{
    const Sequence& seq = sequenceOf(which);
    const ImageState& s = m_images[index(which)];
    if (!m_hooks.startDownload(s.latest.url, s.latest.fileName, path)) {
        say(seq.failed, progress, text(kDownloadFailed));
        return false;
    }
    const auto step = std::chrono::milliseconds(100);
    for (std::chrono::milliseconds waited(0);; waited += step) {
        const unsigned status = m_hooks.downloadStatus();
        if (status == 1)
            return true;
        if (status != 0 || waited >= kDownloadLimit || !m_hooks.sleep(step)) {
            say(seq.failed, progress, text(kDownloadFailed));
            return false;
        }
        if (progress < ceiling)
            ++progress;
        say(seq.running, progress, text(kUpdating));
    }
}

bool FirmwareUpdate::waitForReturn(Image which, int& progress)
{
    const Sequence& seq = sequenceOf(which);
    const bool system = which == Image::System;
    const int limit = static_cast<int>(system ? kSystemReturnLimit.count() : kAppReturnLimit.count());
    for (int second = 1; second <= limit; ++second) {
        if (!m_hooks.sleep(std::chrono::seconds(1)))
            break;
        if (progress < 95)
            ++progress;
        // The system image restarts the module: it is not worth asking
        // before 150 s. The application is back after about ten seconds.
        const bool look = system ? second >= 150 : progress > 59;
        VciStatusRecord r{};
        if (look && m_hooks.readStatus(r) && r.SN[0] != '\0') {
            say(seq.done, 100, text(kLatest));
            return true;
        }
        say(seq.running, progress, text(system && second >= 180 ? kReconnect : kUpdating));
    }
    say(seq.failed, progress, text(kNoReturn));
    return false;
}

bool FirmwareUpdate::runImage(Image which, const std::string& vciIP)
{
    const Sequence& seq = sequenceOf(which);
    const ImageState& s = m_images[index(which)];
    const std::string path = m_tempDir + "/" + seq.file;
    std::remove(path.c_str());
    int progress = 0;
    if (!download(which, path, progress, seq.downloadCeiling))
        return false;

    progress = which == Image::Can ? 50 : std::max(progress, 30);
    say(seq.running, progress, text(kUpdating));
    // Its own type name's marker, then the checksum the server announced.
    const std::vector<unsigned char> head = readHead(path);
    const bool markerOk = firmware::headerHoldsMarker(head.data(), head.size(), s.typeName);
    const bool sumOk = s.latest.sha256.empty() || (m_hooks.fileSha256 && m_hooks.fileSha256(path) == s.latest.sha256);
    if (!markerOk || !sumOk) {
        say(seq.failed, progress, text(kCheckFailed));
        return false;
    }

    if (which == Image::Can) {
        progress = 75;
        say(seq.running, progress, text(kUpdating));
    }
    const int code = m_hooks.runProgram(upgraderProgram(m_programDir, which), {path, vciIP},
        std::chrono::duration_cast<std::chrono::milliseconds>(kUpgraderLimit));
    if (code != 0) {
        say(seq.failed, progress, text(kStartFailed));
        return false;
    }
    if (which == Image::Can) {
        say(seq.done, 100, text(kLatest));
        return true;
    }
    return waitForReturn(which, progress);
}
