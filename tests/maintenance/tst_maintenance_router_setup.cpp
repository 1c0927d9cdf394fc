// The router commands against the adapter emulator through MT7628Config, no
// widgets: what a scan lists, a join with the wrong and the right password,
// the adapter's own Wi-Fi saved and reset, commands that never overlap, and an
// absent, unplugged or silent adapter ending with a clear message in bounded time.
#include "maintenance/RouterSetup.h"
#include "support/AdapterProcesses.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cstring>
#include <mutex>
#include <thread>

namespace {

const char* kA1 = "127.0.105.1";
const char* kA2 = "127.0.105.2";

// The real module, counting how many calls are in flight at once.
class CountingModule : public Mt7628RouterModule {
public:
    using Mt7628RouterModule::Mt7628RouterModule;
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};

    template <typename F>
    auto counted(F call)
    {
        const int now = ++inFlight;
        int seen = mostInFlight.load();
        while (now > seen && !mostInFlight.compare_exchange_weak(seen, now)) { }
        auto result = call();
        --inFlight;
        return result;
    }
    std::vector<survey_table> get_ap_list(const std::string& ip) override
    {
        return counted([&] { return Mt7628RouterModule::get_ap_list(ip); });
    }
    std::string connect_to_ap(const std::string& ip, const std::string& n, const std::string& p) override
    {
        return counted([&] { return Mt7628RouterModule::connect_to_ap(ip, n, p); });
    }
    bool Set_Wifi_Info(const std::string& ip, const std::string& n, const std::string& p) override
    {
        return counted([&] { return Mt7628RouterModule::Set_Wifi_Info(ip, n, p); });
    }
};

} // namespace

class TestRouterSetup : public QObject {
    Q_OBJECT

    EmulatorProcess m_emu;
    MT7628Config m_config;

    // What the commands sent back towards the GUI.
    struct Outbox {
        std::mutex mutex;
        QStringList tips;
        QList<QPair<int, int>> commands;
        int deviceInfo = 0;
        QString lastTip()
        {
            std::lock_guard<std::mutex> lock(mutex);
            return tips.value(tips.size() - 1);
        }
    };

    // The status record names `ip` (none when empty); `away` polls see no adapter first.
    RouterSetup::Hooks hooks(Outbox& out, std::string ip, std::shared_ptr<std::atomic<int>> away = nullptr)
    {
        RouterSetup::Hooks h;
        h.readStatus = [ip, away](VciStatusRecord& r) {
            clearRecord(r);
            if (ip.empty() || (away && (*away)-- > 0))
                return false;
            std::strcpy(r.SN, "M5EA0001XJ7B0001");
            std::strcpy(r.vciIP, ip.c_str());
            r.connType = CONN_USB;
            return true;
        };
        h.sleep = [](std::chrono::milliseconds) { return true; };
        h.sendCommand = [&out](int cmd, int item) {
            std::lock_guard<std::mutex> lock(out.mutex);
            out.commands << qMakePair(cmd, item);
        };
        h.updateDeviceInfo = [&out] { ++out.deviceInfo; };
        h.tip = [&out](const QString& text, int) {
            std::lock_guard<std::mutex> lock(out.mutex);
            out.tips << text;
        };
        return h;
    }

    QJsonObject dumpOf(int adapter)
    {
        const QJsonDocument dump = QJsonDocument::fromJson(m_emu.command(QStringLiteral("dump")).toUtf8());
        return dump.object().value(QLatin1String("adapters")).toArray().at(adapter - 1).toObject();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_emu.start({QStringLiteral("--adapters"), QStringLiteral("2"), QStringLiteral("--base-address"),
                     QString::fromLatin1(kA1)}),
            qPrintable(m_emu.errorText()));
        m_config.setPort(m_emu.port());
        m_config.setTimeouts(500, 800);
    }

    void scanAndJoin()
    {
        QCOMPARE(m_emu.command(QStringLiteral("aps 1 none")), QStringLiteral("OK"));
        QCOMPARE(m_emu.command(QStringLiteral("ap 1 add Bay-Office officepass1 70")), QStringLiteral("OK"));
        QCOMPARE(m_emu.command(QStringLiteral("ap 1 add Bay-Lift liftpass99")), QStringLiteral("OK"));
        QCOMPARE(m_emu.command(QStringLiteral("ap 1 add Bay-Guest -")), QStringLiteral("OK"));
        QVERIFY(m_emu.command(QStringLiteral("ap 1 add Bad short")).startsWith(QLatin1String("ERR")));

        Outbox out;
        Mt7628RouterModule module(m_config);
        RouterSetup setup(module, hooks(out, kA1));
        setup.scan();
        QCOMPARE(setup.accessPoints(), (std::vector<std::string>{"Bay-Office", "Bay-Lift", "Bay-Guest"}));
        QCOMPARE(setup.joinedName(), std::string());
        QCOMPARE(out.commands.value(0).first, route_cmd::kClearMarks);
        QVERIFY(!setup.busy());

        // A wrong password: not joined, told so, and the list is scanned again.
        QVERIFY(!setup.join(1, "Bay-Lift", "wrongpass1", true));
        QVERIFY(out.lastTip().startsWith(QLatin1String("Could not join Bay-Lift")));
        QCOMPARE(out.commands.last(), qMakePair(route_cmd::kScan, 0));
        QVERIFY(!dumpOf(1).value(QLatin1String("joined")).toBool());

        // The right one: joined, the set-up helper ended, row 1 marked.
        QVERIFY(setup.join(1, "Bay-Lift", "liftpass99", true));
        QCOMPARE(out.commands.last(), qMakePair(route_cmd::kJoined, 1));
        QCOMPARE(setup.joinedName(), std::string("Bay-Lift"));
        QCOMPARE(dumpOf(1).value(QLatin1String("killExeCount")).toInt(), 1);
        QCOMPARE(dumpOf(1).value(QLatin1String("joinedSsid")).toString(), QStringLiteral("Bay-Lift"));

        // A scan while joined lists the joined access point first.
        setup.scan();
        QCOMPARE(setup.accessPoints(), (std::vector<std::string>{"Bay-Lift", "Bay-Office", "Bay-Guest"}));
        QCOMPARE(setup.joinedName(), std::string("Bay-Lift"));

        // A join that finds the adapter away waits for it, then goes on.
        auto away = std::make_shared<std::atomic<int>>(3);
        RouterSetup returning(module, hooks(out, kA1, away));
        QVERIFY(returning.join(0, "Bay-Office", "officepass1", true));
        QCOMPARE(returning.joinedName(), std::string("Bay-Office"));
    }

    void adapterWifiSaveAndReset()
    {
        Outbox out;
        Mt7628RouterModule module(m_config);
        RouterSetup setup(module, hooks(out, kA1));
        setup.readWifiInfo();
        QString name, password;
        QVERIFY(RouterSetup::splitWifiInfo(setup.wifiInfo(), name, password));
        QCOMPARE(name, QStringLiteral("Kestrix_0001"));
        QCOMPARE(password, QStringLiteral("12345678"));
        QCOMPARE(out.deviceInfo, 1);

        setup.save("Bay-VCI", "shop-2024!");
        QCOMPARE(setup.wifiInfo(), std::string("Bay-VCI\tshop-2024!"));
        QCOMPARE(out.commands.last(), qMakePair(route_cmd::kSaved, 0));
        // The module's own limits (a name of 1 to 32 bytes, a password of 8 to
        // 63): what is over is refused, said so, and the settings are kept.
        const std::string name32(32, 'n'), password63(63, 'p');
        setup.save(name32, password63);
        QCOMPARE(setup.wifiInfo(), name32 + "\t" + password63);
        for (const auto& [badName, badPassword] : {std::make_pair(name32 + "n", password63),
                 std::make_pair(name32, password63 + "p"), std::make_pair(name32, std::string(7, 'p'))}) {
            const int tips = out.tips.size();
            setup.save(badName, badPassword);
            QCOMPARE(out.tips.size(), tips + 1);
            QVERIFY(out.lastTip().contains(QLatin1String("refused")));
            QCOMPARE(setup.wifiInfo(), name32 + "\t" + password63);
        }
        setup.save("Taller Núñez", "12345678"); // the shortest password; a name in UTF-8
        QVERIFY(RouterSetup::splitWifiInfo(setup.wifiInfo(), name, password));
        QCOMPARE(name, QStringLiteral("Taller Núñez"));
        QCOMPARE(password, QStringLiteral("12345678"));

        const int announced = out.deviceInfo;
        setup.pollWifiInfo(); // unchanged: nothing announced
        QCOMPARE(out.deviceInfo, announced);

        setup.reset();
        QCOMPARE(setup.wifiInfo(), std::string("Kestrix_0001\t12345678"));
        QCOMPARE(setup.joinedName(), std::string());
        QCOMPARE(out.commands.last(), qMakePair(route_cmd::kResetDone, 0));
        QVERIFY(!dumpOf(1).value(QLatin1String("joined")).toBool());

        // An adapter's answer without a name is no Wi-Fi; one without a password has none.
        QVERIFY(!RouterSetup::splitWifiInfo("\t12345678", name, password));
        QVERIFY(!RouterSetup::splitWifiInfo("", name, password));
        QVERIFY(RouterSetup::splitWifiInfo("Bay", name, password));
        QCOMPARE(password, QString());

        // The page's own checks before a save.
        QCOMPARE(
            RouterSetup::checkSave(QStringLiteral("Bay"), QStringLiteral("1234567")), RouterSetup::SaveCheck::TooShort);
        QCOMPARE(RouterSetup::checkSave(QStringLiteral("Bay"), QStringLiteral("12345678")), RouterSetup::SaveCheck::Ok);
        QCOMPARE(RouterSetup::checkSave(QString(), QStringLiteral("12345678")), RouterSetup::SaveCheck::Empty);
    }

    void commandsNeverOverlap()
    {
        QCOMPARE(m_emu.command(QStringLiteral("aps 1 default")), QStringLiteral("OK"));
        Outbox out;
        CountingModule module(m_config);
        RouterSetup setup(module, hooks(out, kA1));
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i) {
            threads.emplace_back([&setup] { setup.scan(); });
            threads.emplace_back([&setup] { setup.join(0, "HOME-8F21", "h0me8f21pass", false); });
            threads.emplace_back([&setup] { setup.save("Bay-VCI", "shop-2024!"); });
        }
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(module.mostInFlight.load(), 1);
        QCOMPARE(setup.accessPoints().size(), std::size_t(3));
        QVERIFY(dumpOf(1).value(QLatin1String("joined")).toBool());
        QCOMPARE(m_emu.command(QStringLiteral("ap 1 remove HOME-8F21")), QStringLiteral("OK"));
        QVERIFY(!dumpOf(1).value(QLatin1String("joined")).toBool()); // its router went away
    }

    void absentUnpluggedOrSilentAdapter()
    {
        Mt7628RouterModule module(m_config);
        {
            Outbox out;
            RouterSetup setup(module, hooks(out, std::string()));
            setup.scan();
            QVERIFY(out.lastTip().startsWith(QLatin1String("No adapter is connected")));
            // A join waits for the adapter at most a minute (of the hooks' clock).
            QVERIFY(!setup.join(0, "HOME-8F21", "h0me8f21pass", true));
            QVERIFY(out.lastTip().startsWith(QLatin1String("No adapter is connected")));
        }
        for (const char* how : {"unplug 2", "silent 2 on"}) {
            QCOMPARE(m_emu.command(QStringLiteral("plug 2")), QStringLiteral("OK"));
            QCOMPARE(m_emu.command(QString::fromLatin1(how)), QStringLiteral("OK"));
            Outbox out;
            RouterSetup setup(module, hooks(out, kA2));
            QElapsedTimer clock;
            clock.start();
            setup.scan();
            QVERIFY2(out.lastTip().startsWith(QLatin1String("The adapter does not answer")), how);
            QVERIFY(setup.accessPoints().empty());
            setup.reset();
            QVERIFY2(out.lastTip().startsWith(QLatin1String("The adapter does not answer")), how);
            QVERIFY(!setup.join(0, "HOME-8F21", "h0me8f21pass", false));
            QVERIFY2(out.lastTip().startsWith(QLatin1String("The adapter does not answer")), how);
            setup.save("Bay-VCI", "shop-2024!");
            QVERIFY2(out.lastTip().startsWith(QLatin1String("The adapter does not answer")), how);
            QVERIFY2(clock.elapsed() < 10000, how); // bounded by the library's time-outs
        }
        QCOMPARE(m_emu.command(QStringLiteral("silent 2 off")), QStringLiteral("OK"));
    }
};

QTEST_GUILESS_MAIN(TestRouterSetup)
#include "tst_maintenance_router_setup.moc"
