// The component's own HTTP (IHttp) against a plain web server on loopback:
// a text and a file fetched, and every failure a reason instead of an
// exception, with a file already on disk left as it was.
#include "IHttp.h"
#include "support/LoopbackServers.h"

#include <QtTest>

class TestVehDiagHttp : public QObject {
    Q_OBJECT

    QTemporaryDir m_served;
    QTemporaryDir m_local;
    PythonHttpServer m_server;

    std::string url(const char* path) const { return (m_server.base() + QLatin1String(path)).toStdString(); }

private slots:
    void initTestCase()
    {
        QFile version(m_served.filePath(QStringLiteral("Version.ini")));
        QVERIFY(version.open(QIODevice::WriteOnly));
        version.write("Bmw=1.0.2.0\r\n");
        version.close();
        QFile library(m_served.filePath(QStringLiteral("Diag.so")));
        QVERIFY(library.open(QIODevice::WriteOnly));
        library.write(QByteArray(300000, 'x'));
        library.close();
        QVERIFY2(m_server.start(m_served.path()), qPrintable(m_server.errorText()));
    }

    void textAndFile()
    {
        const auto text = vehdiag::getText(url("Version.ini"));
        QVERIFY2(text.ok, text.error.c_str());
        QCOMPARE(text.status, 200u);
        QCOMPARE(text.body, std::string("Bmw=1.0.2.0\r\n"));
        const std::string path = m_local.filePath(QStringLiteral("Diag.so")).toStdString();
        const auto file = vehdiag::download(url("Diag.so"), path, 1 << 20);
        QVERIFY2(file.ok, file.error.c_str());
        QCOMPARE(QFileInfo(QString::fromStdString(path)).size(), 300000);
    }

    // A missing file, a too large one, a closed port: the reason, and the
    // file that was there stays.
    void failuresLeaveTheOldFile()
    {
        const QString path = m_local.filePath(QStringLiteral("StdComm_Down.so"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        auto r = vehdiag::download(url("missing.so"), path.toStdString(), 1 << 20);
        QVERIFY(!r.ok);
        QCOMPARE(r.status, 404u);
        QCOMPARE(r.error, std::string("the server answered 404"));
        r = vehdiag::download(url("Diag.so"), path.toStdString(), 1000);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, std::string("the answer is too large"));
        r = vehdiag::getText("http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/Version.ini", 3000);
        QVERIFY(!r.ok);
        QCOMPARE(r.status, 0u);
        QVERIFY(!r.error.empty());
        r = vehdiag::getText("http://127.0.0.1:99999/x"); // a port out of range
        QVERIFY(!r.ok);
        QVERIFY(!r.error.empty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TestVehDiagHttp)
#include "tst_vehdiag_http.moc"
