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
//    C-end's bus;
//  - sustained load: the emulator's load generators fill both buses at both
//    ends (each end PERCENT of the bus, so each bus carries twice that), and
//    a watch on the far bus counts each generator's numbered frames: sent,
//    received, lost, out of order, per bus and direction;
//  - an idle session with each end in its own process (the B-end
//    remote_control_bend, the C-end remote_link_peer): CPU time of each
//    process from /proc and its threads' context switches per second.
// Usage: remote_control_bench [--rounds N] [--load-seconds S] [--percent P] [--idle-seconds S]
//   (0 skips a part; defaults 300, 60, 25, 60)
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
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

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

// CPU time (user + system, clock ticks) and context switches (voluntary and
// not) of all of a process's threads, and of those other than its main
// thread (the test programs' own loop there, not the library's).
struct ProcSample {
    double cpuSeconds = 0;
    std::uint64_t switches = 0;
    double cpuOthers = 0;
    std::uint64_t switchesOthers = 0;
};

double taskCpu(const QString& statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return f.size() > 12 ? double(f[11].toULongLong() + f[12].toULongLong()) / double(::sysconf(_SC_CLK_TCK)) : 0;
}

ProcSample sampleProcess(qint64 pid)
{
    ProcSample s;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const double cpu = taskCpu(tasks.filePath(t) + QStringLiteral("/stat"));
        std::uint64_t switches = 0;
        QFile status(tasks.filePath(t) + QStringLiteral("/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                    switches += line.mid(line.indexOf(':') + 1).trimmed().toULongLong();
            }
        }
        s.cpuSeconds += cpu;
        s.switches += switches;
        if (t != QString::number(pid)) {
            s.cpuOthers += cpu;
            s.switchesOthers += switches;
        }
    }
    return s;
}

QJsonObject busDump(EmulatorProcess& emulator, int adapter, int bus)
{
    return emulator.adapterDump(adapter)
        .value(QStringLiteral("vehicle"))
        .toObject()
        .value(QStringLiteral("buses"))
        .toArray()
        .at(bus)
        .toObject();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 300;
    int loadSeconds = 60;
    int percent = 25;
    int idleSeconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray name(argv[i]);
        const int value = std::max(0, QByteArray(argv[i + 1]).toInt());
        if (name == "--rounds")
            rounds = value;
        else if (name == "--load-seconds")
            loadSeconds = value;
        else if (name == "--percent")
            percent = std::min(100, std::max(1, value));
        else if (name == "--idle-seconds")
            idleSeconds = value;
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

    if (rounds > 0) {
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
        std::fflush(stdout);
    }

    int status = 0;
    if (loadSeconds > 0) {
        // Each end's generator numbers its frames; the watch on the other end's
        // bus counts them. Identifiers: 6/14 B 600, C 601; 3/11 B 610, C 611.
        struct Flow {
            const char* name;
            int from;
            int to;
            int bus;
            const char* id;
        };
        const Flow flows[] = {{"6/14 B->C", 2, 1, 0, "600"}, {"6/14 C->B", 1, 2, 0, "601"},
            {"3/11 B->C", 2, 1, 1, "610"}, {"3/11 C->B", 1, 2, 1, "611"}};
        const char* pins[] = {"6-14", "3-11"};
        for (const Flow& f : flows)
            emulator.command(QStringLiteral("vehicle %1 watch %2 %3")
                                 .arg(f.to)
                                 .arg(QLatin1String(pins[f.bus]), QLatin1String(f.id)));
        std::uint64_t upBefore = 0, downBefore = 0;
        pro->ops->bytesB(pro, &upBefore);
        pro->ops->bytesC(pro, &downBefore);
        for (const Flow& f : flows)
            emulator.command(QStringLiteral("vehicle %1 load %2 %3 %4")
                                 .arg(f.from)
                                 .arg(QLatin1String(pins[f.bus]))
                                 .arg(percent)
                                 .arg(QLatin1String(f.id)));
        // The bus load half-way, as the emulator measures it (the last second).
        QElapsedTimer t;
        t.start();
        waitUntil([&] { return t.elapsed() >= loadSeconds * 500; }, loadSeconds * 1000);
        double busLoad[2][2] = {};
        for (int a = 1; a <= 2; ++a)
            for (int b = 0; b < 2; ++b)
                busLoad[a - 1][b] = busDump(emulator, a, b).value(QStringLiteral("load")).toDouble();
        waitUntil([&] { return t.elapsed() >= loadSeconds * 1000; }, loadSeconds * 1000);
        for (const Flow& f : flows)
            emulator.command(QStringLiteral("vehicle %1 load %2 0").arg(f.from).arg(QLatin1String(pins[f.bus])));
        // What is on its way arrives.
        QThread::msleep(2000);
        std::printf("sustained load, %d s, each end's generator at %d %% of each bus (500 kbit/s, 8-byte frames):\n",
            loadSeconds, percent);
        std::printf("  bus load (emulator, last second at half time): C-end 6/14 %.1f %%, 3/11 %.1f %%; B-end 6/14 "
                    "%.1f %%, 3/11 %.1f %%\n",
            busLoad[0][0], busLoad[0][1], busLoad[1][0], busLoad[1][1]);
        std::uint64_t lostAll = 0, reorderedAll = 0;
        for (const Flow& f : flows) {
            const QJsonObject from = busDump(emulator, f.from, f.bus);
            const QJsonObject watch = busDump(emulator, f.to, f.bus).value(QStringLiteral("watch")).toObject();
            const auto sent = static_cast<std::uint64_t>(from.value(QStringLiteral("generatorSent")).toDouble());
            const auto received = static_cast<std::uint64_t>(watch.value(QStringLiteral("received")).toDouble());
            const auto gaps = static_cast<std::uint64_t>(watch.value(QStringLiteral("lost")).toDouble());
            const auto reordered = static_cast<std::uint64_t>(watch.value(QStringLiteral("reordered")).toDouble());
            const std::uint64_t lost = sent > received ? sent - received : 0;
            lostAll += lost;
            reorderedAll += reordered;
            std::printf(
                "  %-10s sent %8llu  received %8llu  lost %6llu (gaps %llu)  out of order %llu  (%.0f frames/s)\n",
                f.name, static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(gaps),
                static_cast<unsigned long long>(reordered), double(sent) / loadSeconds);
        }
        std::uint64_t up = 0, down = 0;
        pro->ops->bytesB(pro, &up);
        pro->ops->bytesC(pro, &down);
        std::int32_t state = -1;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        pro->ops->state(pro, &state, t1, t2);
        std::printf("  bytes B->C %llu, C->B %llu; session state %d, partner text \"%.*s\"\n",
            static_cast<unsigned long long>(up - upBefore), static_cast<unsigned long long>(down - downBefore), state,
            int(sizeof t2), t2);
        std::printf("  goal: none lost or out of order: %s\n", lostAll == 0 && reorderedAll == 0 ? "met" : "MISSED");
        std::fflush(stdout);
        if (lostAll != 0 || reorderedAll != 0)
            status = 2;
    }
    pro->ops->disconnect(pro);
    waitUntil([&] { return openChannels(emulator, 1) == 0; }, 3000);

    if (idleSeconds > 0) {
        // The B-end in its own process now, so each end's cost is its own.
        QProcess bEnd;
        QProcessEnvironment bEnv = QProcessEnvironment::systemEnvironment();
        bEnv.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(qgetenv("BRINDLEWICK_SHM_PREFIX")));
        bEnd.setProcessEnvironment(bEnv);
        bEnd.start(testBinary("remote_control_bend"),
            {QStringLiteral("127.0.0.1"), QLatin1String(kCEnd), QStringLiteral("424242")});
        QByteArray said;
        if (!bEnd.waitForStarted(5000)
            || !waitUntil(
                [&] {
                    said += bEnd.readAllStandardOutput();
                    return said.contains("bridging") || bEnd.state() != QProcess::Running;
                },
                10000)
            || bEnd.state() != QProcess::Running || !waitUntil([&] { return openChannels(emulator, 1) == 2; }, 5000))
            return fail("the B-end process did not bridge");
        QThread::msleep(2000); // settled
        struct End {
            const char* name;
            qint64 pid;
            ProcSample before;
            ProcSample after;
        };
        End ends[] = {{"B-end (remote_control_bend, RemotePro)", bEnd.processId(), {}, {}},
            {"C-end (remote_link_peer, ClientRemote)", cEnd.pid(), {}, {}}};
        for (End& e : ends)
            e.before = sampleProcess(e.pid);
        QElapsedTimer t;
        t.start();
        QThread::msleep(static_cast<unsigned long>(idleSeconds) * 1000);
        const double seconds = double(t.elapsed()) / 1000.0;
        for (End& e : ends)
            e.after = sampleProcess(e.pid);
        std::printf("idle device-control session, both buses open at 500 kbit/s, no traffic, %.0f s:\n", seconds);
        for (const End& e : ends) {
            const double cpu = 100.0 * (e.after.cpuSeconds - e.before.cpuSeconds) / seconds;
            std::printf("  %-40s CPU %.3f %% of one core (goal <= 0.2 %%), wakeups %.1f /s;"
                        " without the main thread %.3f %%, %.1f /s\n",
                e.name, cpu, double(e.after.switches - e.before.switches) / seconds,
                100.0 * (e.after.cpuOthers - e.before.cpuOthers) / seconds,
                double(e.after.switchesOthers - e.before.switchesOthers) / seconds);
            if (cpu > 0.2 + 1e-9)
                status = 2;
        }
        std::fflush(stdout);
        bEnd.closeWriteChannel();
        if (!bEnd.waitForFinished(5000))
            bEnd.kill();
        waitUntil([&] { return openChannels(emulator, 1) == 0; }, 3000);
    }
    cEnd.stop();
    return status;
}
