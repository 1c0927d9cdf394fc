// The internet check: the system's answer first, then a bounded resolution of
// the public host and one echo. Resolvers here are stand-ins: no test sends a
// name query or an echo anywhere but to loopback.
#include "kit/InternetCheck.h"

#include "support/LoopbackServers.h"

#include "BuildConfig.h"
#include "platform/Network.h"

#include <QtTest>

#include <atomic>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A stand-in resolver that counts its calls and remembers the host asked for.
struct FakeResolver {
    std::string answer;
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::string lastHost;

    InternetCheck::Resolver resolver()
    {
        return [this](const std::string& host) {
            ++calls;
            std::lock_guard<std::mutex> lock(mutex);
            lastHost = host;
            return answer;
        };
    }
};

} // namespace

class TestInternetCheck : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        platform::setConnectivityProbe(nullptr);
        InternetCheck::setResolver(nullptr);
        InternetCheck::setProbeHost(std::string());
    }

    void pingLoopback()
    {
        if (!icmpSocketsPermitted())
            QSKIP("ICMP sockets are not permitted for this user on this machine");
        unsigned long rtt = 12345;
        QVERIFY(pingHost(std::string("127.0.0.1"), rtt));
        QVERIFY(rtt <= InternetCheck::kEchoTimeoutMs);
        QVERIFY(pingHost(QStringLiteral("127.0.0.1"), rtt));
    }

    void pingRejectsTextThatIsNoAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("word") << QStringLiteral("localhost");
        QTest::newRow("out of range") << QStringLiteral("300.0.0.1");
        QTest::newRow("letters") << QStringLiteral("127.0.0.x");
        QTest::newRow("trailing junk") << QStringLiteral("127.0.0.1 ; rm");
    }

    void pingRejectsTextThatIsNoAddress()
    {
        QFETCH(QString, text);
        unsigned long rtt = 0;
        QVERIFY(!pingHost(text, rtt));
    }

    void systemAnswerYesNeedsNoSecondOpinion()
    {
        FakeResolver fake;
        InternetCheck::setResolver(fake.resolver());
        platform::setConnectivityProbe([] { return true; });
        QVERIFY(internetReachable());
        QCOMPARE(fake.calls.load(), 0);
    }

    void hostThatDoesNotResolveGivesFalseAndIsAskedOnce()
    {
        FakeResolver fake; // answers "" = does not resolve
        InternetCheck::setResolver(fake.resolver());
        platform::setConnectivityProbe([] { return false; });

        QVERIFY(!internetReachable());
        QVERIFY(!internetReachable());
        QCOMPARE(fake.calls.load(), 1); // the answer is kept for a while
        std::lock_guard<std::mutex> lock(fake.mutex);
        QCOMPARE(fake.lastHost, std::string(BuildConfig::kInternetProbeHost));
    }

    void resolvedHostIsPinged()
    {
        if (!icmpSocketsPermitted())
            QSKIP("ICMP sockets are not permitted for this user on this machine");
        FakeResolver fake;
        fake.answer = "127.0.0.1";
        InternetCheck::setResolver(fake.resolver());
        InternetCheck::setProbeHost("probe.test");
        platform::setConnectivityProbe([] { return false; });
        QVERIFY(internetReachable());
        std::lock_guard<std::mutex> lock(fake.mutex);
        QCOMPARE(fake.lastHost, std::string("probe.test"));
    }

    void hangingResolverDoesNotBlockTheCaller()
    {
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        auto calls = std::make_shared<std::atomic<int>>(0);
        InternetCheck::setResolver([released, calls](const std::string&) {
            ++*calls;
            released.wait(); // a resolver that never answers on its own
            return std::string("127.0.0.1");
        });
        platform::setConnectivityProbe([] { return false; });

        // Without the bounded wait these calls would never return.
        QVERIFY(!internetReachable());
        QVERIFY(InternetCheck::resolveProbeHost().empty());
        QCOMPARE(calls->load(), 1); // no second worker while one is in flight

        release->set_value();
        QTRY_COMPARE(InternetCheck::resolveProbeHost(), std::string("127.0.0.1"));
        QCOMPARE(calls->load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestInternetCheck)
#include "tst_appkit_internet_check.moc"
