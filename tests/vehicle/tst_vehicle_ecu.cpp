// The simulated vehicle seen from a tester on its buses: UDS and OBD-II
// answers of the shipped default vehicle through ISO-TP, the answer timing,
// security access, the slow routine, ECU reset and the control commands.
#include "CanBus.h"
#include "EcuLogic.h"
#include "IsoTp.h"
#include "Scheduler.h"
#include "VehicleWorld.h"
#include "support/SchedulerWait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

using namespace vehicle;

namespace {

const char kVin[] = "WBWHB71J7P5123456";

Bytes ascii(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QByteArray show(const Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size())).toHex(' ');
}

// A tester on one of the vehicle's buses: ISO-TP links made on demand,
// everything it hears kept with its simulated time.
struct Tester : CanListener {
    Scheduler* s = nullptr;
    CanBus* bus = nullptr;
    CanBus::NodeId node = 0;
    std::vector<std::unique_ptr<IsoTpLink>> links;
    std::vector<std::pair<Bytes, Micros>> answers;
    std::vector<std::pair<CanFrame, Micros>> frames;
    Micros requestSent = 0;

    void received(const CanFrame& f, Micros at) override
    {
        frames.push_back({f, at});
        for (auto& l : links)
            l->onFrame(f, at);
    }
    void transmitted(const CanFrame& f, Micros at) override
    {
        for (auto& l : links)
            l->onTransmitted(f, at);
    }
    IsoTpLink* link(std::uint32_t tx, std::uint32_t rx, bool extended = false, bool fd = false)
    {
        for (auto& l : links) {
            if (l->config().txId == tx && l->config().rxId == rx)
                return l.get();
        }
        IsoTpConfig c;
        c.txId = tx;
        c.rxId = rx;
        c.extended = extended;
        c.fd = fd;
        IsoTpLink::Callbacks cb;
        cb.received = [this](const Bytes& m, Micros at) { answers.push_back({m, at}); };
        cb.sent = [this](IsoTpResult, Micros at) { requestSent = at; };
        links.push_back(std::make_unique<IsoTpLink>(*s, *bus, node, c, cb));
        return links.back().get();
    }
};

struct Rig {
    Scheduler s;
    std::unique_ptr<VehicleWorld> world;
    Tester tester[2];

    explicit Rig(const std::string& vehicle = std::string())
    {
        std::string error;
        world = VehicleWorld::create(s, vehicle, &error);
        if (!world)
            qFatal("no vehicle: %s", error.c_str());
        for (int p = 0; p < 2; ++p) {
            CanBus& bus = world->bus(Pins(p));
            tester[p].s = &s;
            tester[p].bus = &bus;
            tester[p].node = bus.attach(&tester[p], bus.rate());
        }
        s.start();
    }
    ~Rig()
    {
        s.stop();
        world.reset();
    }
    bool waitFor(const std::function<bool()>& done, int ms = 8000) { return waitOnScheduler(s, done, ms); }
    std::string control(const std::string& line)
    {
        std::vector<std::string> words;
        // Split at spaces only, as the control port does, so other bytes stay in the words.
        std::string word;
        for (char c : line + " ") {
            if (c != ' ') {
                word += c;
            } else if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        }
        std::string answer;
        s.call([&] { answer = world->control(words); });
        return answer;
    }
    // Sends a request and returns the first answer (empty when none came
    // within `window` of simulated time after the request left).
    Bytes ask(std::uint32_t tx, std::uint32_t rx, const Bytes& request, int pins = 0, std::size_t answers = 1,
        Micros window = 300000)
    {
        Tester& t = tester[pins];
        // A functional request is one raw single frame; the answers come on
        // the physical link, whose flow control goes to the ECU's physical
        // request identifier (11-bit: answer - 8; 29-bit: swapped addresses).
        const bool functional = tx == 0x7DF || (tx & 0xFFFF0000u) == 0x18DB0000u;
        const std::uint32_t physical = !functional ? tx
            : rx > 0x7FF                           ? ((rx & 0xFFFF0000u) | ((rx & 0xFF) << 8) | ((rx >> 8) & 0xFF))
                                                   : rx - 8;
        bool sent = false;
        s.call([&] {
            t.answers.clear();
            t.requestSent = -1;
            IsoTpLink* link = t.link(physical, rx, rx > 0x7FF, false);
            if (!functional) {
                sent = link->send(request);
                return;
            }
            CanFrame f;
            f.id = tx;
            f.extended = tx > 0x7FF;
            f.length = 8;
            f.data.fill(0xCC);
            f.data[0] = std::uint8_t(request.size());
            std::copy(request.begin(), request.end(), f.data.begin() + 1);
            sent = request.size() <= 7 && bus(pins).send(t.node, f);
            t.requestSent = s.now();
        });
        if (!sent)
            return {};
        waitFor(
            [&] { return t.answers.size() >= answers || (t.requestSent >= 0 && s.now() > t.requestSent + window); });
        Bytes first;
        s.call([&] {
            if (!t.answers.empty())
                first = t.answers.front().first;
        });
        return first;
    }
    // A control command that answers later (the scripted tester's ask),
    // awaited in real time.
    std::string later(const std::string& line, int ms = 8000)
    {
        std::vector<std::string> words;
        std::string word;
        for (char c : line + " ") {
            if (c != ' ') {
                word += c;
            } else if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        }
        auto answers = std::make_shared<std::vector<std::string>>();
        s.call([&] { world->control(words, [answers](const std::string& a) { answers->push_back(a); }); });
        waitFor([&] { return !answers->empty(); }, ms);
        std::string answer;
        s.call(
            [&] { answer = answers->size() == 1 ? answers->front() : std::to_string(answers->size()) + " answers"; });
        return answer;
    }
    CanBus& bus(int pins) { return world->bus(Pins(pins)); }
    Bytes engine(const Bytes& request) { return ask(0x7E0, 0x7E8, request); }
};

std::uint32_t documentedKey(std::uint32_t seed, std::uint32_t constant)
{
    const std::uint32_t x = seed ^ constant;
    return (x << 3) | (x >> 29); // docs/vehicle-simulation.md, "Security access"
}

Bytes unlock(Rig& rig, std::uint32_t tx, std::uint32_t rx, std::uint32_t constant)
{
    if (rig.ask(tx, rx, {0x10, 0x03}).empty())
        return {};
    const Bytes seed = rig.ask(tx, rx, {0x27, 0x01});
    if (seed.size() != 6)
        return seed;
    const std::uint32_t s
        = std::uint32_t(seed[2]) << 24 | std::uint32_t(seed[3]) << 16 | std::uint32_t(seed[4]) << 8 | seed[5];
    const std::uint32_t k = documentedKey(s, constant);
    return rig.ask(
        tx, rx, {0x27, 0x02, std::uint8_t(k >> 24), std::uint8_t(k >> 16), std::uint8_t(k >> 8), std::uint8_t(k)});
}

} // namespace

class TestVehicleEcu : public QObject {
    Q_OBJECT

private slots:
    void vinByUdsAndObd()
    {
        Rig rig;
        // F190: 3 + 17 bytes, first frame and two consecutive frames.
        QCOMPARE(show(rig.engine({0x22, 0xF1, 0x90})), show(cat({0x62, 0xF1, 0x90}, ascii(kVin))));
        std::vector<std::pair<CanFrame, Micros>> frames;
        rig.s.call([&] { frames = rig.tester[0].frames; });
        QCOMPARE(frames.size(), size_t(3));
        // The answer starts the ECU's configured delay (900 µs) after the
        // request left the bus, plus the first frame's own bus time.
        QCOMPARE(frames[0].second,
            rig.tester[0].requestSent + 900 + rig.world->bus(Pins::P6_14).frameTime(frames[0].first) - 6);

        // OBD mode 09 PID 02 on the functional address.
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x09, 0x02})), show(cat({0x49, 0x02, 0x01}, ascii(kVin))));
        // Several identifiers in one request, unknown ones left out.
        QCOMPARE(show(rig.engine({0x22, 0xF1, 0x87, 0x12, 0x34, 0xF1, 0x89})),
            show(cat(cat(cat({0x62, 0xF1, 0x87}, ascii("04E906027JT")), {0xF1, 0x89}), ascii("SW 5173"))));
        QCOMPARE(show(rig.engine({0x22, 0x01, 0x00})), show({0x62, 0x01, 0x00, 0x01, 0xF4, 0x00, 0x3C}));
        // The body ECU on pins 3/11 knows the VIN too.
        QCOMPARE(show(rig.ask(0x740, 0x748, {0x22, 0xF1, 0x90}, 1)), show(cat({0x62, 0xF1, 0x90}, ascii(kVin))));
    }

    void negativeResponses()
    {
        Rig rig;
        QCOMPARE(show(rig.engine({0x22, 0x12, 0x34})), show({0x7F, 0x22, 0x31})); // unknown DID
        QCOMPARE(show(rig.engine({0x22, 0xF1})), show({0x7F, 0x22, 0x13}));       // odd length
        QCOMPARE(show(rig.engine({0x85, 0x01})), show({0x7F, 0x85, 0x11}));       // unknown service
        QCOMPARE(show(rig.engine({0x19, 0x55, 0xFF})), show({0x7F, 0x19, 0x12})); // unknown report
        QCOMPARE(show(rig.engine({0x3E, 0x00, 0x00})), show({0x7F, 0x3E, 0x13}));
        QCOMPARE(show(rig.engine({0x27, 0x01})), show({0x7F, 0x27, 0x7F})); // not in the default session
        QCOMPARE(show(rig.engine({0x10, 0x02})), show({0x7F, 0x10, 0x22})); // programming only from extended
        QCOMPARE(show(rig.engine({0x14, 0x12, 0x34, 0x56})), show({0x7F, 0x14, 0x31})); // no such DTC
        // Functional requests get no "not supported" answers; a physical
        // OBD request to an ECU without OBD is refused.
        QVERIFY(rig.ask(0x7DF, 0x7E8, {0x85}).empty());
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x01, 0x0C})), show({0x7F, 0x01, 0x11}));
        // Tester present, with and without the suppress bit.
        QCOMPARE(show(rig.engine({0x3E, 0x00})), show({0x7E, 0x00}));
        QVERIFY(rig.engine({0x3E, 0x80}).empty());
        QVERIFY(rig.ask(0x7DF, 0x7E8, {0x3E, 0x80}).empty());
        // Sessions carry P2 = 50 ms and P2* = 5000 ms (in 10 ms).
        QCOMPARE(show(rig.engine({0x10, 0x03})), show({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
        QCOMPARE(show(rig.engine({0x22, 0xF1, 0x86})), show({0x62, 0xF1, 0x86, 0x03}));
        QCOMPARE(show(rig.engine({0x10, 0x02})), show({0x50, 0x02, 0x00, 0x32, 0x01, 0xF4}));
        QCOMPARE(show(rig.engine({0x19, 0x01, 0xFF})), show({0x7F, 0x19, 0x7F})); // not while programming
    }

    void troubleCodes()
    {
        Rig rig;
        // Engine: P0301 0x2F, P0420 0x24, P0171 0x08.
        QCOMPARE(show(rig.engine({0x19, 0x01, 0x08})), show({0x59, 0x01, 0xFF, 0x01, 0x00, 0x02}));
        QCOMPARE(show(rig.engine({0x19, 0x02, 0x04})),
            show({0x59, 0x02, 0xFF, 0x03, 0x01, 0x00, 0x2F, 0x04, 0x20, 0x00, 0x24}));
        QCOMPARE(show(rig.engine({0x19, 0x02, 0xFF})).count(' ') + 1, 3 + 3 * 4);
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x03})), show({0x43, 0x02, 0x03, 0x01, 0x01, 0x71}));
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x07})), show({0x47, 0x02, 0x03, 0x01, 0x04, 0x20}));
        // Body: a 3-byte code with its failure type (U0140 00) and B1007.
        QCOMPARE(show(rig.ask(0x740, 0x748, {0x19, 0x02, 0x08}, 1)),
            show({0x59, 0x02, 0xFF, 0x90, 0x07, 0x00, 0x2F, 0xC1, 0x40, 0x00, 0x08}));

        // Clearing one code, then all.
        QCOMPARE(show(rig.engine({0x14, 0x03, 0x01, 0x00})), show({0x54}));
        QCOMPARE(show(rig.engine({0x19, 0x01, 0xFF})), show({0x59, 0x01, 0xFF, 0x01, 0x00, 0x02}));
        QCOMPARE(show(rig.engine({0x14, 0xFF, 0xFF, 0xFF})), show({0x54}));
        QCOMPARE(show(rig.engine({0x19, 0x02, 0xFF})), show({0x59, 0x02, 0xFF}));
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x03})), show({0x43, 0x00}));

        // Injected by the control port; OBD mode 04 clears them.
        QCOMPARE(QString::fromStdString(rig.control("dtc engine add P0300 0x09")),
            QStringLiteral("OK engine P0300 status 0x09"));
        QCOMPARE(show(rig.engine({0x19, 0x02, 0x01})), show({0x59, 0x02, 0xFF, 0x03, 0x00, 0x00, 0x09}));
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x04})), show({0x44}));
        QCOMPARE(show(rig.engine({0x19, 0x01, 0xFF})), show({0x59, 0x01, 0xFF, 0x01, 0x00, 0x00}));
        QVERIFY(rig.control("dtc engine add X123").rfind("ERR", 0) == 0);
        QCOMPARE(QString::fromStdString(rig.control("dtc engine add P0302 010")),
            QStringLiteral("OK engine P0302 status 0x0A"));
        QVERIFY(rig.control("dtc engine add P0302 0x100").rfind("ERR", 0) == 0);
        QVERIFY(rig.control("dtc engine add P0302 -1").rfind("ERR", 0) == 0);
        QVERIFY(rig.control("dtc nobody clear").rfind("ERR no ECU", 0) == 0);
        QVERIFY(rig.control("dtc transmission clear").rfind("OK", 0) == 0);
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x19, 0x01, 0xFF})), show({0x59, 0x01, 0xFF, 0x01, 0x00, 0x00}));
    }

    void securityAccess()
    {
        Rig rig;
        // The documented key opens the transmission.
        QCOMPARE(show(unlock(rig, 0x7E1, 0x7E9, 0x1F2E3D4C)), show({0x67, 0x02}));
        // Unlocked: the seed reads zero.
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x27, 0x01})), show({0x67, 0x01, 0, 0, 0, 0}));

        // The engine: a key without a seed, then three wrong keys.
        QCOMPARE(show(rig.engine({0x10, 0x03})), show({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
        QCOMPARE(show(rig.engine({0x27, 0x02, 1, 2, 3, 4})), show({0x7F, 0x27, 0x24}));
        Bytes seedA = rig.engine({0x27, 0x01});
        QCOMPARE(int(seedA.size()), 6);
        QCOMPARE(show(rig.engine({0x27, 0x02, 1, 2, 3, 4})), show({0x7F, 0x27, 0x35}));
        QCOMPARE(int(rig.engine({0x27, 0x01}).size()), 6);
        QCOMPARE(show(rig.engine({0x27, 0x02, 1, 2, 3, 4})), show({0x7F, 0x27, 0x35}));
        QCOMPARE(int(rig.engine({0x27, 0x01}).size()), 6);
        QCOMPARE(show(rig.engine({0x27, 0x02, 1, 2, 3, 4})), show({0x7F, 0x27, 0x36}));
        // Locked out for the delay.
        QCOMPARE(show(rig.engine({0x27, 0x01})), show({0x7F, 0x27, 0x37}));
        QCOMPARE(show(rig.engine({0x27, 0x02, 1, 2})), show({0x7F, 0x27, 0x13}));
        // Routines want security.
        QCOMPARE(show(rig.engine({0x31, 0x01, 0x02, 0x01})), show({0x7F, 0x31, 0x33}));
    }

    void slowRoutineAnswersPendingThenResult()
    {
        Rig rig;
        QCOMPARE(show(unlock(rig, 0x7E1, 0x7E9, 0x1F2E3D4C)), show({0x67, 0x02}));
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x31, 0x01, 0x99, 0x99})), show({0x7F, 0x31, 0x31})); // unknown routine
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x31, 0x03, 0x03, 0x10})), show({0x7F, 0x31, 0x24})); // no result yet
        // Start: responsePending at once, the positive answer 2.5 s later
        // (with a second pending after 2 s, within P2*).
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x31, 0x01, 0x03, 0x10}, 0, 3, 4000000)), show({0x7F, 0x31, 0x78}));
        std::vector<std::pair<Bytes, Micros>> answers;
        rig.s.call([&] { answers = rig.tester[0].answers; });
        QCOMPARE(answers.size(), size_t(3));
        QCOMPARE(show(answers[1].first), show({0x7F, 0x31, 0x78}));
        QCOMPARE(show(answers[2].first), show({0x71, 0x01, 0x03, 0x10, 0x00}));
        const Micros took = answers[2].second - answers[0].second;
        QVERIFY2(std::abs(took - 2500000) < 1000, qPrintable(QString::number(took)));
        QCOMPARE(answers[1].second - answers[0].second, Micros(2000000));
        const Bytes result = rig.ask(0x7E1, 0x7E9, {0x31, 0x03, 0x03, 0x10});
        QCOMPARE(show(Bytes(result.begin(), result.begin() + 5)), show({0x71, 0x03, 0x03, 0x10, 0x00}));
        // Not while the vehicle moves.
        QVERIFY(rig.control("set transmission speed 30").rfind("OK", 0) == 0);
        QCOMPARE(show(rig.ask(0x7E1, 0x7E9, {0x31, 0x01, 0x03, 0x10})), show({0x7F, 0x31, 0x22}));
    }

    void ecuOffAndReset()
    {
        Rig rig;
        QCOMPARE(QString::fromStdString(rig.control("ecu engine off")), QStringLiteral("OK engine off"));
        QVERIFY(rig.engine({0x3E, 0x00}).empty());
        QVERIFY(rig.ask(0x7DF, 0x7E8, {0x01, 0x0C}).empty());
        // The other ECUs still acknowledge: the tester stays error active.
        bool active = false;
        rig.s.call([&] { active = rig.world->bus(Pins::P6_14).nodeState(rig.tester[0].node) == NodeState::Active; });
        QVERIFY(active);
        QVERIFY(rig.control("ecu 7E0 on").rfind("OK", 0) == 0);
        QCOMPARE(show(rig.engine({0x3E, 0x00})), show({0x7E, 0x00}));

        // A reset answers, then the ECU is away for its 600 ms.
        QCOMPARE(show(rig.engine({0x10, 0x03})), show({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
        QCOMPARE(show(rig.engine({0x11, 0x01})), show({0x51, 0x01}));
        Micros resetAt = 0;
        rig.s.call([&] { resetAt = rig.tester[0].answers.front().second; });
        QVERIFY(rig.engine({0x3E, 0x00}).empty());
        QVERIFY(rig.waitFor([&] { return rig.s.now() > resetAt + 650000; }));
        QCOMPARE(show(rig.engine({0x3E, 0x00})), show({0x7E, 0x00}));
        // Back in the default session.
        QCOMPARE(show(rig.engine({0x22, 0xF1, 0x86})), show({0x62, 0xF1, 0x86, 0x01}));
    }

    void liveDataByObd()
    {
        Rig rig;
        const Bytes a = rig.ask(0x7DF, 0x7E8, {0x01, 0x0C, 0x05, 0x0D, 0x99});
        QCOMPARE(int(a.size()), 1 + 3 + 2 + 2); // unsupported 0x99 left out
        QCOMPARE(a[0], std::uint8_t(0x41));
        QCOMPARE(a[1], std::uint8_t(0x0C));
        const double rpm = (a[2] * 256 + a[3]) / 4.0;
        QVERIFY2(rpm >= 770 && rpm <= 830, qPrintable(QString::number(rpm))); // idling at start
        QCOMPARE(a[4], std::uint8_t(0x05));
        QCOMPARE(int(a[5]) - 40, 18); // cold engine: ambient
        QCOMPARE(show(Bytes(a.begin() + 6, a.end())), show({0x0D, 0x00}));
        // PID 00: the support bitmap names what the engine answers.
        const Bytes support = rig.ask(0x7DF, 0x7E8, {0x01, 0x00});
        QCOMPARE(int(support.size()), 6);
        const std::uint32_t bits = std::uint32_t(support[2]) << 24 | std::uint32_t(support[3]) << 16
            | std::uint32_t(support[4]) << 8 | support[5];
        for (int pid : {0x04, 0x05, 0x0C, 0x0D, 0x0F, 0x10, 0x11, 0x20})
            QVERIFY2(bits & (1u << (32 - pid)), qPrintable(QString::number(pid, 16)));
        QVERIFY(!(bits & (1u << (32 - 0x02))));
        // An override shows in mode 01 and in the mirrored DID F40C.
        QVERIFY(rig.control("set engine rpm 3000").rfind("OK", 0) == 0);
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x01, 0x0C})), show({0x41, 0x0C, 0x2E, 0xE0}));
        QCOMPARE(show(rig.engine({0x22, 0xF4, 0x0C})), show({0x62, 0xF4, 0x0C, 0x2E, 0xE0}));
        QVERIFY(rig.control("set engine F190 hex:4142").rfind("OK", 0) == 0);
        QCOMPARE(show(rig.engine({0x22, 0xF1, 0x90})), show({0x62, 0xF1, 0x90, 0x41, 0x42}));
        QVERIFY(rig.control("set engine rpm fast").rfind("ERR", 0) == 0);
        QVERIFY(rig.control("set engine warp 1").rfind("ERR", 0) == 0);
        QCOMPARE(show(rig.ask(0x7DF, 0x7E8, {0x09, 0x0A})),
            show(cat({0x49, 0x0A, 0x01}, cat(ascii("ECM-EngineControl"), {0, 0, 0}))));
    }

    void timersOfTheEcuFollowSimulatedTime()
    {
        // The ECU logic on its own, at chosen times: no waiting.
        VehicleDescription v;
        std::string error;
        QVERIFY(loadVehicleFile(resolveVehicleFile("default", &error), &v, &error));
        EcuLogic ecu(v.ecus[0], v, 0);
        const auto at = [&](const Bytes& request, Micros t) { return show(ecu.handle(request, false, t).answer); };
        const Micros s = 1000000;
        QCOMPARE(at({0x10, 0x03}, 0), show({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
        // S3: requests keep the session; 5 s without one fall back to default.
        QCOMPARE(at({0x3E, 0x00}, 4 * s), show({0x7E, 0x00}));
        QCOMPARE(at({0x22, 0xF1, 0x86}, 8 * s), show({0x62, 0xF1, 0x86, 0x03}));
        QCOMPARE(at({0x22, 0xF1, 0x86}, 13 * s + 1), show({0x62, 0xF1, 0x86, 0x01}));
        // Lock-out: 10 s after the third wrong key seeds come again.
        QCOMPARE(at({0x10, 0x03}, 14 * s), show({0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(int(ecu.handle({0x27, 0x01}, false, 14 * s).answer.size()), 6);
            ecu.handle({0x27, 0x02, 0, 0, 0, 0}, false, 14 * s);
        }
        QCOMPARE(at({0x27, 0x01}, 18 * s), show({0x7F, 0x27, 0x37}));
        QCOMPARE(at({0x3E, 0x00}, 22 * s), show({0x7E, 0x00}));
        QCOMPARE(at({0x27, 0x01}, 24 * s - 1), show({0x7F, 0x27, 0x37}));
        // The routine: busy while it runs (3 s), its result after.
        const Bytes seed = ecu.handle({0x27, 0x01}, false, 24 * s).answer;
        QCOMPARE(int(seed.size()), 6);
        const std::uint32_t sv
            = std::uint32_t(seed[2]) << 24 | std::uint32_t(seed[3]) << 16 | std::uint32_t(seed[4]) << 8 | seed[5];
        const std::uint32_t k = documentedKey(sv, 0x5A3C96E1);
        QCOMPARE(at({0x27, 0x02, std::uint8_t(k >> 24), std::uint8_t(k >> 16), std::uint8_t(k >> 8), std::uint8_t(k)},
                     24 * s),
            show({0x67, 0x02}));
        const EcuLogic::Reply start = ecu.handle({0x31, 0x01, 0x02, 0x01}, false, 25 * s);
        QCOMPARE(show(start.answer), show({0x7F, 0x31, 0x78}));
        QCOMPARE(start.laterAfter, 3 * s);
        QCOMPARE(at({0x31, 0x03, 0x02, 0x01}, 27 * s), show({0x7F, 0x31, 0x21}));
        QCOMPARE(at({0x31, 0x01, 0x02, 0x01}, 27 * s), show({0x7F, 0x31, 0x22})); // already running
        QCOMPARE(at({0x31, 0x03, 0x02, 0x01}, 28 * s).left(14), show({0x71, 0x03, 0x02, 0x01, 0x00}));
    }

    void liveModelBehavesLikeAnEngine()
    {
        LiveModel m(false, 18.0, 0);
        // Idle between revs, with wander, within a narrow band.
        double lo = 1e9, hi = 0;
        for (Micros t = 0; t < 5000000; t += 50000) {
            const double rpm = m.value("rpm", t);
            lo = std::min(lo, rpm);
            hi = std::max(hi, rpm);
        }
        QVERIFY2(lo >= 775 && hi <= 825 && hi - lo > 10, qPrintable(QStringLiteral("%1..%2").arg(lo).arg(hi)));
        // Some revs within ten minutes, never beyond the peak.
        double top = 0;
        for (Micros t = 0; t < 600000000; t += 100000)
            top = std::max(top, m.value("rpm", t));
        QVERIFY(top > 1500 && top < 3100);
        // Warming up from the ambient temperature towards 90 °C, never above 92.
        QCOMPARE(m.value("coolant", 0), 18.0);
        const double after5 = m.value("coolant", 300000000);
        const double after30 = m.value("coolant", 1800000000);
        QVERIFY(after5 > 55 && after5 < 80);
        QVERIFY(after30 > 87 && after30 < 92);
        // Same time, same value: nothing depends on when it is asked.
        QCOMPARE(m.value("rpm", 1234567), m.value("rpm", 1234567));
    }

    void controlCommands()
    {
        Rig rig;
        const QString info = QString::fromStdString(rig.control("info"));
        QVERIFY2(info.startsWith(QStringLiteral("OK vehicle \"Brindlewick test hatchback"))
                && info.contains(QLatin1String(kVin)) && info.contains(QStringLiteral("engine(6-14, on, 3 DTC)")),
            qPrintable(info));
        // Words are echoed in one printable line, whatever they hold.
        for (const char* odd : {"fly\nOK", "set engine F1A0 a\r\nOK\x01", "dtc \x1b[2J add P0301"}) {
            const std::string a = rig.control(odd);
            QVERIFY2(
                std::none_of(a.begin(), a.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }), odd);
        }
        for (const char* bad : {"", "fly", "rate 6-14 50000", "rate 6-14 500000 300000", "rate 2-7 500000",
                 "load 6-14 101", "load 3-11 50 XYZ", "tester 6-14 add 7E0 0 0102", "tester 6-14 add 7E0 10 010",
                 "tester 6-14 add 7E0 10 010203040506070809", "ecu engine sleep", "set engine"}) {
            const std::string a = rig.control(bad);
            QVERIFY2(a.rfind("ERR ", 0) == 0, bad);
        }

        // A scripted tester sends at its exact period.
        QVERIFY(rig.control("tester 3-11 add 7DF 100 023E80").rfind("OK", 0) == 0);
        QVERIFY(rig.waitFor([&] { return rig.tester[1].frames.size() >= 3; }));
        QVERIFY(rig.control("tester 3-11 clear").rfind("OK", 0) == 0);
        std::vector<std::pair<CanFrame, Micros>> f;
        rig.s.call([&] { f = rig.tester[1].frames; });
        QCOMPARE(f[1].second - f[0].second, Micros(100000));
        QCOMPARE(f[2].second - f[1].second, Micros(100000));
        QCOMPARE(show(Bytes(f[0].first.data.begin(), f[0].first.data.begin() + f[0].first.length)),
            show({0x02, 0x3E, 0x80}));

        // Full load: back-to-back frames with a running counter.
        QVERIFY(rig.control("load 3-11 100 123").rfind("OK", 0) == 0);
        Micros start = 0;
        rig.s.call([&] {
            start = rig.s.now();
            rig.tester[1].frames.clear();
        });
        QVERIFY(rig.waitFor([&] { return rig.s.now() > start + 1100000; }));
        double load = 0;
        rig.s.call([&] {
            load = rig.world->bus(Pins::P3_11).load();
            f = rig.tester[1].frames;
        });
        QVERIFY(rig.control("load 3-11 0").rfind("OK", 0) == 0);
        QVERIFY2(load > 0.99, qPrintable(QString::number(load)));
        QVERIFY(f.size() > 3500);
        for (std::size_t i = 1; i < f.size(); ++i) {
            QCOMPARE(f[i].first.data[7], std::uint8_t(f[i - 1].first.data[7] + 1));
            QCOMPARE(f[i].second - f[i - 1].second, rig.world->bus(Pins::P3_11).frameTime(f[i].first));
        }

        // A bit rate change leaves a tester at the old rate alone and deaf.
        QCOMPARE(QString::fromStdString(rig.control("rate 6-14 250000")), QStringLiteral("OK 6-14 250000 bit/s"));
        QVERIFY(rig.engine({0x3E, 0x00}).empty());
        bool busOff = false;
        QVERIFY(rig.waitFor([&] {
            busOff = rig.world->bus(Pins::P6_14).nodeState(rig.tester[0].node) == NodeState::BusOff;
            return busOff;
        }));
        rig.s.call([&] { rig.world->bus(Pins::P6_14).setNodeRate(rig.tester[0].node, BusRate{250000, 0}); });
        QCOMPARE(show(rig.engine({0x3E, 0x00})), show({0x7E, 0x00}));

        // The state dump is one JSON object.
        std::string dump;
        rig.s.call([&] { dump = rig.world->dumpJson(); });
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(dump)).object();
        QCOMPARE(o.value(QStringLiteral("vin")).toString(), QLatin1String(kVin));
        QCOMPARE(o.value(QStringLiteral("buses")).toArray().at(0).toObject().value(QStringLiteral("bitrate")).toInt(),
            250000);
        QCOMPARE(o.value(QStringLiteral("ecus")).toArray().size(), 5);
    }

    // The scripted tester's request: segmented answers reassembled with its
    // own flow control, "response pending" followed, bounded waits.
    void scriptedTesterAsks()
    {
        Rig rig;
        const auto hexOf = [](const Bytes& b) {
            return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size())).toHex().toUpper().toStdString();
        };
        // The VIN (20 bytes: first frame, flow control, consecutive frames).
        QCOMPARE(QString::fromStdString(rig.later("tester 6-14 ask 7E0 7E8 22F190")),
            QString::fromStdString("OK 6-14 0x7E8 " + hexOf(cat({0x62, 0xF1, 0x90}, ascii(kVin)))));
        std::vector<std::pair<CanFrame, Micros>> frames;
        rig.s.call([&] { frames = rig.tester[0].frames; });
        const auto flowControl = std::find_if(frames.begin(), frames.end(), [](const std::pair<CanFrame, Micros>& f) {
            return f.first.id == 0x7E0 && (f.first.data[0] & 0xF0) == 0x30;
        });
        QVERIFY(flowControl != frames.end());
        // The stored trouble codes, as a direct link reads them (asked after:
        // the tester hears frames only while its own request is open).
        const std::string dtcs = rig.later("tester 6-14 ask 0x7E0 0x7E8 1902ff");
        QCOMPARE(QString::fromStdString(dtcs),
            QString::fromStdString("OK 6-14 0x7E8 " + hexOf(rig.engine({0x19, 0x02, 0xFF}))));
        // The other bus; negative answers passed on as they are.
        QCOMPARE(QString::fromStdString(rig.later("tester 3-11 ask 740 748 22F190")),
            QString::fromStdString("OK 3-11 0x748 " + hexOf(cat({0x62, 0xF1, 0x90}, ascii(kVin)))));
        QCOMPARE(QString::fromStdString(rig.later("tester 6-14 ask 7E0 7E8 22ABCD")),
            QStringLiteral("OK 6-14 0x7E8 7F2231"));

        // The dump's round trip: from the request's frame to the answer's, on the bus.
        rig.s.call([&] { rig.tester[0].frames.clear(); });
        QCOMPARE(
            QString::fromStdString(rig.later("tester 6-14 ask 7E0 7E8 3E00")), QStringLiteral("OK 6-14 0x7E8 7E00"));
        std::string dump;
        rig.s.call([&] {
            frames = rig.tester[0].frames;
            dump = rig.world->dumpJson();
        });
        QCOMPARE(frames.size(), size_t(2));
        const QJsonObject bus0 = QJsonDocument::fromJson(QByteArray::fromStdString(dump))
                                     .object()
                                     .value(QStringLiteral("buses"))
                                     .toArray()
                                     .at(0)
                                     .toObject();
        QCOMPARE(bus0.value(QStringLiteral("testerRoundTripMicros")).toVariant().toLongLong(),
            frames[1].second - frames[0].second);

        // "Response pending" keeps the request open until the result.
        QCOMPARE(show(unlock(rig, 0x7E1, 0x7E9, 0x1F2E3D4C)), show({0x67, 0x02}));
        QCOMPARE(QString::fromStdString(rig.later("tester 6-14 ask 7E1 7E9 31010310 1000")),
            QStringLiteral("OK 6-14 0x7E9 7101031000"));

        // An ECU off the bus: a time-out after the given wait; one request at a time.
        QVERIFY(rig.control("ecu engine off").rfind("OK", 0) == 0);
        QCOMPARE(QString::fromStdString(rig.later("tester 6-14 ask 7E0 7E8 22F190 50")),
            QStringLiteral("ERR 6-14 no answer on 0x7E8 within 50 ms"));
        auto first = std::make_shared<std::vector<std::string>>();
        rig.s.call([&] {
            rig.world->control({"tester", "6-14", "ask", "7E0", "7E8", "3E00", "30000"},
                [first](const std::string& a) { first->push_back(a); });
        });
        QCOMPARE(QString::fromStdString(rig.later("tester 6-14 ask 7E0 7E8 3E00")),
            QStringLiteral("ERR 6-14 the tester awaits an answer already"));
        // Clearing the tester ends the open request with one answer.
        QVERIFY(rig.control("tester 6-14 clear").rfind("OK", 0) == 0);
        QVERIFY(rig.waitFor([&] { return !first->empty(); }));
        rig.s.call([&] {});
        QCOMPARE(first->size(), size_t(1));
        QCOMPARE(QString::fromStdString(first->front()),
            QStringLiteral("ERR 6-14 the tester was cleared before the answer"));

        for (const char* bad :
            {"tester 6-14 ask 7E0 7E8", "tester 6-14 ask 7E0 7E0 3E00", "tester 6-14 ask 7E0 7E8 3E0",
                "tester 6-14 ask 7E0 7E8 zz", "tester 6-14 ask 7E0 7E8 3E00 0", "tester 6-14 ask 7E0 7E8 3E00 30001",
                "tester 1-2 ask 7E0 7E8 3E00", "tester 6-14 ask 7E0 800000000 3E00"}) {
            const std::string a = rig.later(bad);
            QVERIFY2(a.rfind("ERR", 0) == 0, bad);
        }
        // The plain one-line path refuses it rather than block the clock.
        QVERIFY(rig.control("tester 6-14 ask 7E0 7E8 3E00").rfind("ERR", 0) == 0);
    }

    void dieselVanWith29BitAndFd()
    {
        Rig rig("diesel-van");
        // 29-bit normal fixed addressing, functional 0x18DB33F1.
        QCOMPARE(show(rig.ask(0x18DB33F1, 0x18DAF110, {0x09, 0x02})),
            show(cat({0x49, 0x02, 0x01}, ascii("WBWVD25K1N2041871"))));
        QCOMPARE(show(rig.ask(0x18DB33F1, 0x18DAF110, {0x01, 0x51})), show({0x41, 0x51, 0x04})); // diesel
        // The FD body answers in FD frames: 20 bytes in one single frame.
        bool sent = false;
        rig.s.call([&] {
            rig.tester[1].answers.clear();
            sent = rig.tester[1].link(0x740, 0x748, false, true)->send({0x22, 0xF1, 0x90});
        });
        QVERIFY(sent);
        QVERIFY(rig.waitFor([&] { return !rig.tester[1].answers.empty(); }));
        std::vector<std::pair<CanFrame, Micros>> f;
        rig.s.call([&] { f = rig.tester[1].frames; });
        QCOMPARE(f.size(), size_t(1));
        QVERIFY(f[0].first.fd);
        QCOMPARE(int(f[0].first.length), 24);
    }
};

QTEST_GUILESS_MAIN(TestVehicleEcu)
#include "tst_vehicle_ecu.moc"
