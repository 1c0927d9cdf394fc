// The technician directory without widgets: URLs joined without "//", the
// two requests with their headers, the service address chosen, answers that
// are not what they should be, the search, and the brief escaped before it
// is shown as rich text.
#include "account/TechnicianDirectory.h"

#include <QtTest>

using account::HttpAnswer;

namespace {

const QByteArray kConfigs = R"([
 {"serviceAddress":"10.0.0.1","port":1,"description":"one"},
 {"serviceAddress":"10.0.0.2","port":2,"description":"two"},
 {"serviceAddress":"10.0.0.3","port":3,"description":"three"},
 {"serviceAddress":"10.0.0.4","port":4,"description":"four"},
 {"serviceAddress":"10.0.0.5","port":5,"description":"five"},
 {"serviceAddress":"10.0.0.6","port":6,"description":"six"},
 {"serviceAddress":"10.0.0.7","port":7,"description":"seven"}])";

const QByteArray kTechnicians = R"([
 {"name":"Taller Ruiz","phone":"600112233","login":"ruiz","address":"Calle Mayor 12, Madrid","orderSize":132,
  "appraise":5,"authentication":1,"recommended":1,"brief":"BMW keys","label":[{"labelName":"BMW"},{"labelName":"VW"}]},
 {"name":"AutoDiag Levante","phone":"611223344","login":"levante","address":"Av. del Puerto 45, Valencia",
  "orderSize":"many","brief":"<b>Ford</b> & <script>x</script> Madrid"},
 7,
 {"name":"Madrid Motor","phone":"622000111","address":"Gran Vía 1"}])";

struct Request {
    QString url;
    QString header;
};

} // namespace

class TestAccountDirectory : public QObject {
    Q_OBJECT

private slots:
    void joiningNeverDoublesTheSlash_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::newRow("both") << "http://h:1/"
                              << "/api/x";
        QTest::newRow("base only") << "http://h:1/"
                                   << "api/x";
        QTest::newRow("path only") << "http://h:1"
                                   << "/api/x";
        QTest::newRow("neither") << "http://h:1"
                                 << "api/x";
        QTest::newRow("several") << "http://h:1//"
                                 << "//api/x";
    }
    void joiningNeverDoublesTheSlash()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QCOMPARE(account::joinUrl(base, path), QStringLiteral("http://h:1/api/x"));
        QCOMPARE(account::joinUrl(QStringLiteral("https://h/base/"), QStringLiteral("/api/x?a=b")),
            QStringLiteral("https://h/base/api/x?a=b"));
    }

    void parsing()
    {
        const QVector<account::ServiceConfig> configs = account::parseServiceConfigs(kConfigs);
        QCOMPARE(configs.size(), 7);
        QCOMPARE(configs.at(6).serviceAddress, QStringLiteral("10.0.0.7"));
        QCOMPARE(configs.at(6).port, 7);
        QCOMPARE(configs.at(6).description, QStringLiteral("seven"));

        const QVector<account::TechnicianRecord> records = account::parseTechnicians(kTechnicians);
        QCOMPARE(records.size(), 3); // the number is skipped
        QCOMPARE(records.at(0).labels, QStringList({QStringLiteral("BMW"), QStringLiteral("VW")}));
        QCOMPARE(records.at(0).orderSize, 132);
        QCOMPARE(records.at(0).recommended, 1);
        QCOMPARE(records.at(1).orderSize, 0); // a text where a number belongs
        QVERIFY(records.at(2).brief.isEmpty());

        for (const QByteArray& bad :
            {QByteArray("{\"a\":1}"), QByteArray("[1,2"), QByteArray(), QByteArray("null"), QByteArray("\"text\"")}) {
            QVERIFY(account::parseServiceConfigs(bad).isEmpty());
            QVERIFY(account::parseTechnicians(bad).isEmpty());
        }
    }

    void serviceAddressChoice()
    {
        const QVector<account::ServiceConfig> seven = account::parseServiceConfigs(kConfigs);
        QCOMPARE(account::chooseServiceAddress(seven, false), QStringLiteral("10.0.0.7"));
        QCOMPARE(account::chooseServiceAddress(seven, true), QStringLiteral("10.0.0.1"));
        const QVector<account::ServiceConfig> six = seven.mid(0, 6);
        QCOMPARE(account::chooseServiceAddress(six, false), QString::fromLatin1(account::kDefaultServiceAddress));
        QCOMPARE(account::chooseServiceAddress(six, true), QStringLiteral("10.0.0.1"));
        QCOMPARE(account::chooseServiceAddress({}, true), QString::fromLatin1(account::kDefaultServiceAddress));
        QCOMPARE(account::chooseServiceAddress({}, false), QString::fromLatin1(account::kDefaultServiceAddress));
    }

    void fetchingSendsTheTokenAndTheChosenAddress()
    {
        QVector<Request> requests;
        auto get = [&](const QString& url, const QString& header) {
            requests.append({url, header});
            if (url.contains(QStringLiteral("getAllServiceConfigs")))
                return HttpAnswer{200, kConfigs};
            return HttpAnswer{200, kTechnicians};
        };
        account::DirectoryFetcher fetcher(QStringLiteral("http://127.0.0.1:9/"), QStringLiteral("tok-A1"), get);
        fetcher.loadConfigs();
        fetcher.loadConfigs(); // loaded once
        const QVector<account::TechnicianRecord> records = fetcher.fetchTechnicians(0, 60, false);
        QCOMPARE(records.size(), 3);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).url, QStringLiteral("http://127.0.0.1:9/api/getAllServiceConfigs"));
        QVERIFY(requests.at(0).header == QStringLiteral("Authorization: Bearer tok-A1"));
        QCOMPARE(requests.at(1).url,
            QStringLiteral(
                "http://127.0.0.1:9/api/remote-technicians?searchKey=&label=&page=0&size=60&serviceAddress=10.0.0.7"));
        QVERIFY(
            requests.at(1).header == QStringLiteral("Content-Type: application/json\nAuthorization: Bearer tok-A1"));
        QVERIFY(fetcher.tokenAccepted());
        QCOMPARE(fetcher.cards().size(), 3);
        // No more than the page size asked for.
        QCOMPARE(fetcher.fetchTechnicians(0, 2, false).size(), 2);
        QCOMPARE(fetcher.cards().size(), 2);
        QCOMPARE(fetcher.cards().at(1).name, QStringLiteral("AutoDiag Levante"));
        fetcher.fetchTechnicians(0, 60, false);
        QCOMPARE(fetcher.cards().at(0),
            (account::TechnicianCard{QStringLiteral("Taller Ruiz"), QStringLiteral("BMW keys"),
                QStringLiteral("Calle Mayor 12, Madrid"), QStringLiteral("600112233")}));
    }

    void failuresLeaveTheListEmpty()
    {
        int status = 0;
        QVector<Request> requests;
        auto get = [&](const QString& url, const QString& header) {
            requests.append({url, header});
            return HttpAnswer{status, kTechnicians};
        };
        account::DirectoryFetcher offline(QStringLiteral("http://127.0.0.1:9"), QStringLiteral("t"), get);
        offline.loadConfigs();
        QVERIFY(offline.configs().isEmpty());
        QVERIFY(offline.fetchTechnicians(0, 60, false).isEmpty());
        QVERIFY(offline.cards().isEmpty());
        // No configurations: the default address is asked for.
        QVERIFY(requests.last().url.endsWith(
            QStringLiteral("&serviceAddress=") + QLatin1String(account::kDefaultServiceAddress)));

        status = 401;
        account::DirectoryFetcher expired(QStringLiteral("http://127.0.0.1:9"), QStringLiteral("t"), get);
        expired.loadConfigs();
        QVERIFY(!expired.tokenAccepted());
        QVERIFY(expired.fetchTechnicians(0, 60, false).isEmpty());

        status = 500;
        account::DirectoryFetcher broken(QStringLiteral("http://127.0.0.1:9"), QStringLiteral("t"), get);
        QVERIFY(broken.fetchTechnicians(0, 60, true).isEmpty());
        QVERIFY(broken.tokenAccepted());

        // A real client towards a closed port: no answer, no exception.
        account::DirectoryFetcher closed(QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("t"));
        closed.loadConfigs();
        QVERIFY(closed.fetchTechnicians(0, 60, false).isEmpty());
        account::DirectoryFetcher nonsense(QStringLiteral("no scheme at all"), QStringLiteral("t"));
        QVERIFY(nonsense.fetchTechnicians(0, 60, false).isEmpty());
    }

    void searchByPhoneNameAndAddressOnly()
    {
        QVector<account::TechnicianCard> cards;
        for (const account::TechnicianRecord& record : account::parseTechnicians(kTechnicians))
            cards.append({record.name, record.brief, record.address, record.phone});
        auto names = [](const QVector<account::TechnicianCard>& found) {
            QStringList list;
            for (const account::TechnicianCard& card : found)
                list << card.name;
            return list;
        };
        QCOMPARE(names(account::filterCards(cards, QString())).size(), 3);
        QCOMPARE(names(account::filterCards(cards, QStringLiteral("6112"))),
            QStringList{QStringLiteral("AutoDiag Levante")});
        // "Madrid" is in a name, an address and a brief: each card once, in list order.
        QCOMPARE(names(account::filterCards(cards, QStringLiteral("Madrid"))),
            QStringList({QStringLiteral("Taller Ruiz"), QStringLiteral("Madrid Motor")}));
        QVERIFY(account::filterCards(cards, QStringLiteral("madrid")).isEmpty()); // case matters
        QVERIFY(account::filterCards(cards, QStringLiteral("Ford")).isEmpty());   // only in a brief
    }

    void briefIsEscapedBeforeItBecomesRichText()
    {
        const QString html = account::descriptionRichText(QStringLiteral("<b>Ford</b> & <script>x</script> \"q\""));
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;Ford&lt;/b&gt; &amp; &lt;script&gt;")));
        QVERIFY(!html.contains(QStringLiteral("<b>")));
        QVERIFY(!html.contains(QStringLiteral("<script")));
    }
};

QTEST_GUILESS_MAIN(TestAccountDirectory)
#include "tst_account_directory.moc"
