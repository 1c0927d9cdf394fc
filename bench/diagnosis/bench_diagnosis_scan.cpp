// Quick scan of the default vehicle through the diagnosis component's
// communication library, as the identification page does it: the VIN (OBD-II
// mode 09 on 0x7DF), then per bus the part number (22 F187), the software
// number (22 F188) and the DTC count (19 01 FF) of every ECU of the Bmw make
// library, all ECUs of a bus asked at once. Reports the scan time (p50, p90,
// max over the rounds) beside the bus time its frames need at 500 kbit/s.
//
// Usage: bench_diagnosis_scan [--rounds N]   (from the build's bin folder)
#include "Comm.h"
#include "Pub.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace vehdiag;

namespace {

// Frames of one ISO-TP message of `n` bytes (classic CAN, 8-byte frames),
// with the receiver's flow control for a multi-frame one.
int frames(std::size_t n)
{
    return n <= 7 ? 1 : 1 + static_cast<int>((n - 6 + 6) / 7) + 1;
}

// An 8-byte frame with an 11-bit identifier: 111 to 135 bits with stuffing.
constexpr double kFrameUs = 135.0 / 500000.0 * 1e6;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--rounds")
            rounds = std::max(1, QByteArray(argv[++i]).toInt());

    TestEnvironment env;
    EmulatorProcess emulator;
    if (!emulator.start({})) {
        std::fprintf(stderr, "vci-emulator: %s\n", qPrintable(emulator.errorText()));
        return 1;
    }
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
    QDir().mkpath(config);
    QFile reg(config + QStringLiteral("/brindlewick-j2534.json"));
    if (!reg.open(QIODevice::WriteOnly))
        return 1;
    reg.write("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \"" + testBinary("BrindlewickJ2534.so").toUtf8()
        + "\"}\n");
    reg.close();

    platform::Library diag;
    if (!diag.load(std::string(BW_VEHDIAG_DIR "Bmw/Diag") + platform::sharedLibrarySuffix())) {
        std::fprintf(stderr, "%s\n", diag.errorString().c_str());
        return 1;
    }
    auto entry = diag.resolveFunction<int (*)(const char*)>("DiagEntry");
    if (!entry || entry(BW_VEHDIAG_DIR "Bmw/") != 0)
        return 1;
    const MakeDefinition make = *Registry::instance().make("Bmw");

    Link link(std::string(), "127.0.100.1:" + std::to_string(emulator.passthruPort()));
    using Clock = std::chrono::steady_clock;
    auto t0 = Clock::now();
    const Outcome opened = link.open();
    if (!opened.ok()) {
        std::fprintf(stderr, "open: %s\n", opened.detail.c_str());
        return 1;
    }
    const double openMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    std::vector<double> times;
    double busUs = 0;
    int answered = 0, dtcs = 0;
    for (int r = 0; r < rounds; ++r) {
        int frameCount = 0;
        answered = 0;
        dtcs = 0;
        t0 = Clock::now();
        const auto count = [&](const std::map<std::uint32_t, Outcome>& answers, std::size_t requestSize) {
            for (const auto& a : answers) {
                frameCount += frames(requestSize);
                if (a.second.ok())
                    frameCount += frames(1 + a.second.answer.data.size());
            }
        };
        count(link.functional(make.functionalId, make.ecus, {0x09, 0x02}), 2);
        for (Bus bus : {Bus::Obd, Bus::Body}) {
            count(link.requestMany(bus, make.ecus, {0x22, 0xF1, 0x87}), 3);
            count(link.requestMany(bus, make.ecus, {0x22, 0xF1, 0x88}), 3);
            const auto c = link.requestMany(bus, make.ecus, {0x19, 0x01, 0xFF});
            count(c, 3);
            for (const auto& a : c)
                if (a.second.ok()) {
                    ++answered;
                    dtcs += static_cast<int>(dtcCount(a.second.answer).value_or(0));
                }
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        busUs = frameCount * kFrameUs;
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) { return times[std::min(times.size() - 1, std::size_t(q * times.size()))]; };
    std::printf("quick scan of %zu ECUs on 2 buses (%d answered, %d DTCs), %d rounds\n", make.ecus.size(), answered,
        dtcs, rounds);
    std::printf("  adapter open:   %.1f ms (once)\n", openMs);
    std::printf("  scan:           p50 %.1f ms, p90 %.1f ms, max %.1f ms\n", at(0.5), at(0.9), times.back());
    std::printf("  bus time:       %.2f ms of frames at 500 kbit/s (both buses added)\n", busUs / 1000.0);
    link.close();
    return answered == static_cast<int>(make.ecus.size()) ? 0 : 1;
}
