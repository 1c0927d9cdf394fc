// The MT7628 wire format: framing, parsing and typed access must fail cleanly
// on anything a broken or hostile peer can send.
#include "Mt7628Protocol.h"

#include <QtTest>

#include <cstring>

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsTypesAndText()
    {
        Json::Value v(Json::objectValue);
        v["op"] = "set_wifi";
        v["name"] = "Taller \"Núñez\"\nline";
        v["on"] = true;
        v["vbatt"] = 12340u;
        const std::string line = mt7628::encodeFrame(v);
        QVERIFY(!line.empty());
        QCOMPARE(line.back(), '\n');
        QCOMPARE(std::count(line.begin(), line.end(), '\n'), std::ptrdiff_t(1)); // embedded line end escaped
        Json::Value back;
        QVERIFY(mt7628::decodeFrame(line, back));
        // A peer that ends its lines with CR LF is understood as well.
        QVERIFY(mt7628::decodeFrame(line.substr(0, line.size() - 1) + "\r\n", back));
        std::string name;
        QVERIFY(mt7628::getString(back, "name", name));
        QCOMPARE(QString::fromStdString(name), QStringLiteral("Taller \"Núñez\"\nline"));
        std::uint32_t mv = 0;
        QVERIFY(mt7628::getUInt(back, "vbatt", mv));
        QCOMPARE(mv, 12340u);
    }

    void encodeRefusesNonObjectsAndOversize()
    {
        QVERIFY(mt7628::encodeFrame(Json::Value(Json::arrayValue)).empty());
        QVERIFY(mt7628::encodeFrame(Json::Value("text")).empty());
        Json::Value big(Json::objectValue);
        big["blob"] = std::string(mt7628::kMaxFrameBytes, 'x');
        QVERIFY(mt7628::encodeFrame(big).empty());
    }

    void decodeRejectsMalformed_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray("\n");
        QTest::newRow("not json") << QByteArray("hello\n");
        QTest::newRow("array") << QByteArray("[1,2]\n");
        QTest::newRow("number") << QByteArray("42\n");
        QTest::newRow("truncated") << QByteArray("{\"op\":\"status\"");
        QTest::newRow("trailing garbage") << QByteArray("{\"op\":\"status\"} x\n");
        QTest::newRow("two objects") << QByteArray("{}{}\n");
        QTest::newRow("duplicate key") << QByteArray("{\"op\":\"a\",\"op\":\"b\"}\n");
        QTest::newRow("NaN") << QByteArray("{\"v\":NaN}\n");
        QTest::newRow("block comment") << QByteArray("{\"op\":\"status\"/*x*/}\n");
        QTest::newRow("comment in array") << QByteArray("{\"a\":[1/*x*/]}\n");
        QTest::newRow("trailing comma") << QByteArray("{\"op\":\"status\",}\n");
        QTest::newRow("leading zero") << QByteArray("{\"a\":01}\n");
        QTest::newRow("sign without digits") << QByteArray("{\"a\":-}\n");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"a\":1}\n");
        QTest::newRow("not UTF-8") << QByteArray("{\"a\":\"\xC3\x28\"}\n");
        static const char withNul[] = "{\"op\":\"st\0atus\"}\n";
        QTest::newRow("NUL inside") << QByteArray(withNul, int(sizeof withNul) - 1);
        QTest::newRow("oversized") << QByteArray("{\"a\":\"" + QByteArray(int(mt7628::kMaxFrameBytes), 'y') + "\"}\n");
    }
    void decodeRejectsMalformed()
    {
        QFETCH(QByteArray, line);
        Json::Value v(Json::objectValue);
        v["stale"] = 1;
        std::string why;
        QVERIFY(!mt7628::decodeFrame(line.toStdString(), v, &why));
        QVERIFY(!why.empty());
        QVERIFY(v.isNull()); // nothing of an earlier value survives
    }

    // Depth counts open objects and arrays, the outer object included.
    void nestingLimitIsExact()
    {
        auto nested = [](int depth) {
            return "{\"a\":" + std::string(std::size_t(depth - 1), '[') + "1" + std::string(std::size_t(depth - 1), ']')
                + "}";
        };
        Json::Value v;
        QVERIFY(mt7628::decodeFrame(nested(mt7628::kMaxNesting), v));
        std::string why;
        QVERIFY(!mt7628::decodeFrame(nested(mt7628::kMaxNesting + 1), v, &why));
        QCOMPARE(QString::fromStdString(why), QStringLiteral("nested too deeply"));
    }

    void typedGettersRefuseWrongTypes()
    {
        Json::Value v;
        QVERIFY(
            mt7628::decodeFrame(R"({"s":"12","n":-1,"big":4294967296,"f":1.5,"b":true,"i":-7,"u":7,"whole":12.0})", v));
        std::string s;
        bool b = false;
        std::uint32_t u = 99;
        std::int32_t i = 99;
        QVERIFY(!mt7628::getUInt(v, "s", u));   // number as text
        QVERIFY(!mt7628::getUInt(v, "n", u));   // negative
        QVERIFY(!mt7628::getUInt(v, "big", u)); // beyond 32 bits
        QVERIFY(!mt7628::getUInt(v, "f", u));   // fraction
        QVERIFY(!mt7628::getUInt(v, "missing", u));
        QCOMPARE(u, 99u); // untouched on failure
        QVERIFY(mt7628::getUInt(v, "whole", u));
        QCOMPARE(u, 12u);
        QVERIFY(!mt7628::getInt(v, "big", i));
        QVERIFY(mt7628::getInt(v, "i", i));
        QCOMPARE(i, -7);
        QVERIFY(!mt7628::getBool(v, "u", b)); // 7 is not a bool
        QVERIFY(!mt7628::getString(v, "b", s));
        QVERIFY(mt7628::getBool(v, "b", b) && b);
        QVERIFY(!mt7628::getString(Json::Value("x"), "s", s)); // not an object
    }

    void replyOkNeedsRealTrue()
    {
        Json::Value v;
        QVERIFY(mt7628::decodeFrame(R"({"ok":"true"})", v));
        QVERIFY(!mt7628::replyOk(v));
        QVERIFY(mt7628::decodeFrame(R"({"ok":1})", v));
        QVERIFY(!mt7628::replyOk(v));
        QVERIFY(mt7628::replyOk(mt7628::okReply()));
        QVERIFY(!mt7628::replyOk(mt7628::errorReply("no")));
    }

    void frameReaderSplitsAndRecovers()
    {
        mt7628::FrameReader r(64);
        const char chunk1[] = "{\"a\":1}\r\n{\"b\"";
        const char chunk2[] = ":2}\n";
        r.append(chunk1, std::strlen(chunk1));
        std::string line;
        QVERIFY(r.next(line));
        QCOMPARE(QByteArray::fromStdString(line), QByteArray("{\"a\":1}"));
        QVERIFY(!r.next(line)); // half a line waits
        r.append(chunk2, std::strlen(chunk2));
        QVERIFY(r.next(line));
        QCOMPARE(QByteArray::fromStdString(line), QByteArray("{\"b\":2}"));
        QCOMPARE(r.buffered(), std::size_t(0));
        r.append("{}\nRAW\0", 7); // raw bytes after a line are handed over as they came
        QVERIFY(r.next(line));
        QCOMPARE(QByteArray::fromStdString(r.takeBuffered()), QByteArray("RAW\0", 4));
        QVERIFY(!r.next(line) && r.buffered() == 0);
    }

    // Upload frames as the other end reads them: upload_begin by the module,
    // the module's lines by the client.
    void uploadFramesRead_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("reads");
        QTest::newRow("begin") << QByteArray(R"({"op":"upload_begin","image":"application","length":4096})")
                               << "begin application 4096";
        QTest::newRow("begin, largest length")
            << QByteArray(R"({"op":"upload_begin","image":"can","length":4294967295})") << "begin can 4294967295";
        QTest::newRow("begin, unknown image")
            << QByteArray(R"({"op":"upload_begin","image":"App","length":1})") << "no: unknown image kind";
        QTest::newRow("begin, no image") << QByteArray(R"({"op":"upload_begin","length":1})") << "no: missing image";
        QTest::newRow("begin, length 0") << QByteArray(R"({"op":"upload_begin","image":"can","length":0})")
                                         << "no: length must be a positive 32-bit number";
        QTest::newRow("begin, length as text") << QByteArray(R"({"op":"upload_begin","image":"can","length":"9"})")
                                               << "no: length must be a positive 32-bit number";
        QTest::newRow("begin, length past 32 bits")
            << QByteArray(R"({"op":"upload_begin","image":"can","length":4294967296})")
            << "no: length must be a positive 32-bit number";
        QTest::newRow("acknowledgement") << QByteArray(R"({"ok":true,"received":65536})") << "progress 65536 ";
        QTest::newRow("written") << QByteArray(R"({"ok":true,"written":true,"version":"V2.1"})") << "written 0 V2.1";
        QTest::newRow("refusal") << QByteArray(R"({"ok":false,"error":"busy"})") << "refused 0 busy";
        QTest::newRow("refusal without reason") << QByteArray(R"({"ok":false})") << "refused 0 refused";
        QTest::newRow("written false") << QByteArray(R"({"ok":true,"written":false})") << "invalid 0 ";
        QTest::newRow("negative acknowledgement") << QByteArray(R"({"ok":true,"received":-1})") << "invalid 0 ";
        QTest::newRow("ok as text") << QByteArray(R"({"ok":"true","received":5})") << "invalid 0 ";
    }
    void uploadFramesRead()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, reads);
        Json::Value v;
        QVERIFY(mt7628::decodeFrame(line.toStdString(), v));
        QString got;
        if (v.isMember("op")) {
            mt7628::ImageKind kind = mt7628::ImageKind::System;
            std::uint32_t length = 0;
            std::string why;
            got = mt7628::parseUploadBegin(v, kind, length, &why)
                ? QStringLiteral("begin %1 %2").arg(mt7628::imageKindName(kind)).arg(length)
                : QStringLiteral("no: ") + QString::fromStdString(why);
        } else {
            const mt7628::UploadLine l = mt7628::readUploadLine(v);
            const char* kinds[] = {"progress", "written", "refused", "invalid"};
            got = QStringLiteral("%1 %2 %3").arg(kinds[l.kind]).arg(l.received).arg(QString::fromStdString(l.text));
        }
        QCOMPARE(got, reads);
    }

    void frameReaderStopsOnOverlongLine()
    {
        mt7628::FrameReader r(16);
        const std::string noEnd(40, 'z');
        r.append(noEnd.data(), noEnd.size());
        std::string line;
        QVERIFY(!r.next(line));
        QVERIFY(r.overflow());
        r.append("{}\n", 3); // nothing is taken after an overflow
        QVERIFY(!r.next(line));
        QCOMPARE(r.buffered(), std::size_t(0));

        mt7628::FrameReader r2(16);
        const std::string longLine = std::string(20, 'q') + "\n{}\n";
        r2.append(longLine.data(), longLine.size());
        QVERIFY(!r2.next(line));
        QVERIFY(r2.overflow());
    }

    void copyFieldCutsOnCharacterBoundary()
    {
        char f[6];
        std::memset(f, 'x', sizeof f);
        mt7628::copyField(f, sizeof f, "abcdefgh");
        QCOMPARE(QByteArray(f), QByteArray("abcde"));
        mt7628::copyField(f, sizeof f, "abcñ"); // ñ is two bytes: 5 bytes fit exactly
        QCOMPARE(QByteArray(f), QByteArray("abcñ"));
        mt7628::copyField(f, sizeof f, "abcdñ"); // would split ñ: cut before it
        QCOMPARE(QByteArray(f), QByteArray("abcd"));
        QCOMPARE(f[5], '\0');
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_vcilink_protocol.moc"
