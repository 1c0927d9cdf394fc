// The carousel's picture feed: what the server lists is fetched once into the
// cache and shown; unsafe links, non-pictures and overlong lists are dropped;
// without the server the last good list comes back from the cache, and a
// cache list naming other files is not followed. One case against the cloud
// emulator.
#include "ads/AdFeed.h"

#include "CloudEmulator.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "picture bytes";

// A server of canned answers that counts what is asked of it.
struct FakeServer {
    std::map<std::string, std::pair<int, std::string>> answers;
    std::map<std::string, int> asked;
    bool down = false;

    AdFeed::Fetch fetch()
    {
        return [this](const std::string& url, std::size_t maxBytes, std::string& body) {
            ++asked[url];
            auto it = answers.find(url);
            if (down || it == answers.end() || it->second.second.size() > maxBytes)
                return 0;
            body = it->second.second;
            return it->second.first;
        };
    }
    void list(const QJsonArray& items)
    {
        answers["http://ads.example/api/advertisements?langCode=ES"]
            = {200, QJsonDocument(QJsonObject{{"items", items}}).toJson().toStdString()};
    }
};

QJsonObject item(const QString& image, const QString& link)
{
    return QJsonObject{{"image", image}, {"link", link}};
}

} // namespace

class TestAdsFeed : public QObject {
    Q_OBJECT
private slots:
    void listedPicturesAreCachedAndShown()
    {
        QTemporaryDir cache;
        FakeServer server;
        server.answers["https://cdn.example/a.png"] = {200, kPng};
        server.answers["https://cdn.example/b.png"] = {200, kPng};
        server.answers["https://cdn.example/html.png"] = {200, "<html>not a picture</html>"};
        server.answers["https://cdn.example/missing.png"] = {404, "{}"};
        server.list({item("https://cdn.example/a.png", "https://shop.example/j2534"),
            item("https://cdn.example/b.png", "javascript:alert(1)"), item("https://cdn.example/html.png", ""),
            item("https://cdn.example/missing.png", ""), item("file:///etc/passwd", ""), item("", "")});
        AdFeed feed(QStringLiteral("http://ads.example"), cache.path(), server.fetch());

        QList<AdItem> items = feed.refresh(QStringLiteral("ES"));
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].link, QUrl(QStringLiteral("https://shop.example/j2534")));
        QVERIFY(items[1].link.isEmpty()); // only web pages open from a picture
        QFile picture(items[0].imageFile);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.readAll().toStdString(), kPng);
        QCOMPARE(server.asked.count("file:///etc/passwd"), std::size_t(0));

        // A second round fetches only the list; the pictures are already here.
        items = feed.refresh(QStringLiteral("ES"));
        QCOMPARE(items.size(), 2);
        QCOMPARE(server.asked["https://cdn.example/a.png"], 1);

        // Without the server, or with nonsense from it, the last good list.
        server.down = true;
        QCOMPARE(feed.refresh(QStringLiteral("ES")).size(), 2);
        server.down = false;
        server.answers["http://ads.example/api/advertisements?langCode=ES"] = {200, "{\"items\": 5}"};
        QCOMPARE(feed.refresh(QStringLiteral("ES")).size(), 2);
        QCOMPARE(AdFeed(QStringLiteral("http://ads.example/"), cache.path(), server.fetch()).cached().size(), 2);
    }

    void longListsAndForeignCacheEntriesAreCut()
    {
        QTemporaryDir root;
        const QString cache = root.filePath(QStringLiteral("cache"));
        FakeServer server;
        QJsonArray many;
        for (int i = 0; i < 20; ++i) {
            const QString url = QStringLiteral("https://cdn.example/%1.png").arg(i);
            server.answers[url.toStdString()] = {200, kPng + std::to_string(i)};
            many << item(url, QString());
        }
        server.list(many);
        AdFeed feed(QStringLiteral("http://ads.example/"), cache, server.fetch());
        QCOMPARE(feed.refresh(QStringLiteral("ES")).size(), AdFeed::kMaxItems);

        // The cache's list names only our own digests; a file out of it is not shown.
        QFile secret(root.filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.close();
        QFile list(cache + QStringLiteral("/ads.json"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(QJsonDocument(QJsonArray{QJsonObject{{"file", "../secret"}, {"link", "https://x.example"}},
                                     QJsonObject{{"file", "0123456789abcdef0123456789abcdef"}}})
                       .toJson());
        list.close();
        QVERIFY(feed.cached().isEmpty());
    }

    void againstTheCloudEmulator()
    {
        CloudEmulator cloud;
        QVERIFY2(cloud.start(), qPrintable(cloud.lastError()));
        QTemporaryDir cache;
        AdFeed feed(cloud.httpBase(), cache.path());
        const QList<AdItem> items = feed.refresh(QStringLiteral("EN"));
        QCOMPARE(items.size(), 3);
        for (const AdItem& ad : items)
            QCOMPARE(ad.link.scheme(), QStringLiteral("https"));
        QVERIFY(cloud.controlAt(QStringLiteral("ads"),
            QJsonObject{{"items", QJsonArray{item(cloud.httpBase() + QStringLiteral("files/ads/none.png"), "")}}}));
        QVERIFY(feed.refresh(QStringLiteral("EN")).isEmpty()); // listed but not there: nothing to show
    }
};

QTEST_GUILESS_MAIN(TestAdsFeed)
#include "tst_ads_feed.moc"
