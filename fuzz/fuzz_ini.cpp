// The INI files the manager reads: "VCIINFO.ini" of the hint loop
// (src/device/HintLoop.cpp, section = adapter MAC, key SN), the settings
// store's file (src/kit/SettingsStore.cpp, the language) and the
// language marker "SaveLanguageSetting.ini". Whatever they hold: the hint
// loop remembers an adapter it recognised (its next step does not write
// again), the language is a text ("es" when none is stored) and a new choice
// is kept for the next start, the marker is 0, 1 or -1 from its first byte.
#include "FuzzSupport.h"

#include <device/HintLoop.h>
#include <kit/SettingsStore.h>

#include <QCoreApplication>
#include <QDir>

namespace {

struct Files {
    QString dir;
    QString vciInfo;
    QString settings;
    Files()
    {
        dir = QString::fromStdString(fuzz::scratchFolder()) + QStringLiteral("/ini");
        QDir().mkpath(dir + QStringLiteral("/config/Settings"));
        qputenv("XDG_CONFIG_HOME", (dir + QStringLiteral("/config")).toUtf8());
        vciInfo = dir + QStringLiteral("/VCIINFO.ini");
        settings = dir + QStringLiteral("/config/Settings/Brindlewick.conf");
    }
};

const Files& files()
{
    static const Files f;
    return f;
}

HintLoop::Hooks adapterHooks(const std::string& mac, int& writes)
{
    HintLoop::Hooks h;
    h.adapterPresent = [mac](std::string& macText) {
        macText = mac;
        return true;
    };
    h.currentSerial = [&writes] {
        ++writes; // asked only when the file does not know the adapter yet
        return QStringLiteral("M5EA0001XJ7B0001");
    };
    h.rememberedSerial = [] { return QString(); };
    h.voltageText = [] { return QStringLiteral("12.3V"); };
    h.showInitHint = [] {};
    h.setTimer = [](HintTimer, bool) {};
    h.timerActive = [](HintTimer) { return false; };
    return h;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    files();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Files& f = files();
    fuzz::Input in(data, size);
    const std::string vciInfo = in.piece();
    const std::string settings = in.piece();
    const std::string marker = in.piece();
    const std::string mac = "00e04c680001"; // twelve lower-case hex digits, as the adapter list gives it

    // The hint loop: once the adapter was recognised, the file knows it.
    fuzz::writeFile(f.vciInfo.toStdString(), vciInfo);
    int writes = 0;
    HintLoop loop(adapterHooks(mac, writes), f.vciInfo);
    const HintLoop::Next first = loop.step();
    const HintLoop::Next second = loop.step();
    BW_FUZZ_CHECK(first != HintLoop::Next::End);
    BW_FUZZ_CHECK(second != HintLoop::Next::Sleep2000 && writes <= 1);

    // The language.
    fuzz::writeFile(f.settings.toStdString(), settings);
    {
        SettingsStore store;
        const QString language = store.language();
        BW_FUZZ_CHECK(!language.isEmpty());
        store.setLanguage(QStringLiteral("en"));
    }
    BW_FUZZ_CHECK(SettingsStore().language() == QLatin1String("en"));

    // The marker.
    fuzz::writeFile((f.dir + QStringLiteral("/SaveLanguageSetting.ini")).toStdString(), marker);
    const int expected = marker.empty() ? -1 : marker[0] == '0' ? 0 : marker[0] == '1' ? 1 : -1;
    BW_FUZZ_CHECK(readLanguageMarker(f.dir) == expected);
    return 0;
}
