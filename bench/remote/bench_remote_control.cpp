// Device control on loopback, with the real relay, the adapter emulator (two
// adapters: the B-end's without a vehicle, the C-end's with the default
// vehicle), the C-end in its own process (remote_link_peer, ClientRemote) and
// the device-control library in this one, as the end-to-end test sets them up.
//  - the B-end's scripted tester asks TesterPresent (3E 00, one frame each
//    way) through the bridge, and the C-end's own tester asks the engine the
//    same before the session: the round trips on the vehicle clock (the emulator's dump), from
//    the request's frame to the answer's. Through the bridge each leg also
//    pays one frame time on the other bus, so half the difference is the
//    one-way time from a frame on the B bus to the same frame on the C bus;
//  - ReadDataByIdentifier F190 (the VIN, segmented both ways) from the
//    B-end's tester through the bridge beside the same request made on the
//    C-end's bus.
// Usage: remote_control_bench [--rounds N]
#include "RemoteTestSupport.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>
#include <platform/SharedMemory.h>
#include <remote/RemoteProApi.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const char* const kCEnd = "M5EA0009XJ7B0009";
const char* const kBEnd = "M5EA0008XJ7B0008";

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5))];
}

int openChannels(EmulatorProcess& emulator, int n)
{
    return emulator.adapterDump(n)
        .value(QStringLiteral("passthru"))
        .toObject()
        .value(QStringLiteral("channels"))
        .toArray()
        .size();
}

// The scripted tester of adapter `n` asks `request`; its round trip in ms on
// the vehicle clock, or a negative number when the answer was not positive.
double ask(EmulatorProcess& emulator, int n, const char* request)
{
    const QString answer = emulator.command(
        QStringLiteral("vehicle %1 tester 6-14 ask 7E0 7E8 %2 2000").arg(n).arg(QLatin1String(request)));
    if (!answer.startsWith(QLatin1String("OK")))
        return -1;
    const QJsonObject bus = emulator.adapterDump(n)
                                .value(QStringLiteral("vehicle"))
                                .toObject()
                                .value(QStringLiteral("buses"))
                                .toArray()
                                .at(0)
                                .toObject();
    return bus.value(QStringLiteral("testerRoundTripMicros")).toDouble() / 1000.0;
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

int fail(const char* what)
{
    std::fprintf(stderr, "remote_control_bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--rounds")
            rounds = std::max(1, QByteArray(argv[i + 1]).toInt());
    }

    TestEnvironment env;
    TestTls tls;
    if (!tls.create())
        return fail("no test CA");
    qputenv("BRINDLEWICK_CA_FILE", tls.caFile().toUtf8());
    RelayProcess relay;
    if (!relay.start(tls.serverCert(), tls.serverKey()))
        return fail("the relay did not start");
    qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(relay.port()));
    EmulatorProcess emulator;
    if (!emulator.start({QStringLiteral("--adapters"), QStringLiteral("2")}))
        return fail("the emulator did not start");
    qputenv("BW_PASSTHRU_PORT", QByteArray::number(emulator.passthruPort()));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", config.path().toUtf8());
    QDir().mkpath(config.path() + QStringLiteral("/j2534/04.04"));
    QFile reg(config.path() + QStringLiteral("/j2534/04.04/brindlewick-j2534.json"));
    if (!reg.open(QIODevice::WriteOnly))
        return fail("no registration file");
    reg.write(QByteArray("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \"") + testBinary("").toUtf8()
        + "BrindlewickJ2534" + platform::sharedLibrarySuffix() + "\"}");
    reg.close();

    const QByteArray cPrefix = useUniqueShmPrefix("rcbC");
    platform::SharedMemory cBlock;
    if (!cBlock.create(kStatusBlock, kBlockBytes) || !cBlock.holdOwnership())
        return fail("no C-end status block");
    fillBlock(cBlock, statusText(kCEnd, 12600, 1, "USB", "127.0.100.1", "127.0.100.1"));
    useUniqueShmPrefix("rcbB");
    platform::SharedMemory bBlock;
    if (!bBlock.create(kStatusBlock, kBlockBytes) || !bBlock.holdOwnership())
        return fail("no B-end status block");
    fillBlock(bBlock, statusText(kBEnd, 12600, 1, "USB", "127.0.100.2", "127.0.100.2"));
    for (const char* ecu : {"engine", "transmission", "abs", "body", "gateway"})
        emulator.command(QStringLiteral("vehicle 2 ecu %1 off").arg(QLatin1String(ecu)));

    struct Series {
        const char* name;
        int adapter;
        const char* request;
        std::vector<double> ms;
        int failed = 0;
    };
    Series series[] = {{"3E 00 on the C-end bus (local)", 1, "3E00", {}}, {"3E 00 through the bridge", 2, "3E00", {}},
        {"22 F190 on the C-end bus (local)", 1, "22F190", {}}, {"22 F190 through the bridge", 2, "22F190", {}}};
    // The local requests go before the session: once bridged, the two buses
    // are one, and two testers on the same identifiers would hear each
    // other's exchanges (a late forwarded answer taken for one's own).
    for (int r = 0; r < rounds; ++r) {
        for (Series& s : series) {
            if (s.adapter != 1)
                continue;
            const double ms = ask(emulator, s.adapter, s.request);
            if (ms < 0)
                ++s.failed;
            else
                s.ms.push_back(ms);
        }
    }

    platform::Library library;
    if (!library.load(testBinary("").toStdString() + "RemotePro" + platform::sharedLibrarySuffix()))
        return fail("RemotePro not loaded");
    BwRemotePro* pro = library.resolveFunction<BwCreateRemoteProFn>("CreateRemotePro")();
    PeerProcess cEnd;
    if (!cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(relay.port()),
                        QLatin1String(kCEnd), QStringLiteral("424242"), QStringLiteral("KEY9")},
            cPrefix)
        || !cEnd.waitFor(QStringLiteral("status 1 state 1"), 10000))
        return fail("the C-end did not register");
    if (!pro || pro->ops->connect(pro, "127.0.0.1", kCEnd, "--", 424242) != BW_PRO_CONNECTED)
        return fail("no device-control session");
    const std::uint32_t obd[2] = {6, 14};
    const std::uint32_t body[2] = {3, 11};
    std::uint32_t id1 = 0, id2 = 0;
    if (pro->ops->openCanChannel(pro, BW_PRO_PROTOCOL_CAN, obd, 2, 500000, 0, &id1) != 0
        || pro->ops->openCanChannel(pro, BW_PRO_PROTOCOL_CAN, body, 2, 500000, 0, &id2) != 0)
        return fail("channels not opened");
    pro->ops->start(pro, 1);
    if (!waitUntil([&] { return openChannels(emulator, 1) == 2; }, 5000))
        return fail("the C-end's channels did not open");
    // The first answer through a fresh bridge settles the links.
    ask(emulator, 2, "3E00");
    for (int r = 0; r < rounds; ++r) {
        for (Series& s : series) {
            if (s.adapter != 2)
                continue;
            const double ms = ask(emulator, s.adapter, s.request);
            if (ms < 0)
                ++s.failed;
            else
                s.ms.push_back(ms);
        }
    }

    std::printf("device control on loopback, 500 kbit/s both buses, %d rounds (vehicle clock, ms)\n", rounds);
    for (const Series& s : series)
        std::printf("  %-34s p50 %7.3f  p99 %7.3f  max %7.3f  (%d without answer)\n", s.name, percentile(s.ms, 0.5),
            percentile(s.ms, 0.99), s.ms.empty() ? 0.0 : *std::max_element(s.ms.begin(), s.ms.end()), s.failed);
    // One way: half the added round trip of the single-frame exchange, per round.
    std::vector<double> oneWay;
    const double local = percentile(series[0].ms, 0.5);
    for (double ms : series[1].ms)
        oneWay.push_back((ms - local) / 2);
    std::printf("  B bus frame -> same frame on the C bus (half the added round trip, one frame time included):\n"
                "    p50 %.3f  p99 %.3f\n",
        percentile(oneWay, 0.5), percentile(oneWay, 0.99));
    std::uint64_t up = 0, down = 0;
    pro->ops->bytesB(pro, &up);
    pro->ops->bytesC(pro, &down);
    std::printf(
        "  bytes B->C %llu, C->B %llu\n", static_cast<unsigned long long>(up), static_cast<unsigned long long>(down));
    pro->ops->disconnect(pro);
    waitUntil([&] { return openChannels(emulator, 1) == 0; }, 3000);
    cEnd.stop();
    return 0;
}
