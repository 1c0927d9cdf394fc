// The command block exchange against a fake service thread that plays the
// other end of the mailbox, and the selection and mode writes.
#include "support/TestBlocks.h"

#include "device/CommandBlock.h"
#include "support/FakeService.h"

#include <platform/NamedEvent.h>

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

QByteArray serialAt(const unsigned char* data)
{
    return QByteArray(reinterpret_cast<const char*>(data) + 9, 16);
}

} // namespace

class TestCommandBlock : public QObject {
    Q_OBJECT

private:
    platform::SharedMemory m_block;
    CommandBlock m_client;

private slots:
    void initTestCase()
    {
        useUniqueShmPrefix("cmd");
        QVERIFY(m_block.create(kCommandBlock, kBlockBytes));
    }
    void cleanupTestCase()
    {
        m_block.close();
        platform::SharedMemory::remove(kCommandBlock);
    }
    void init() { std::memset(m_block.data(), 0, m_block.size()); }

    void immediateReplyIsConsumed()
    {
        unsigned char* d = m_block.data();
        std::memcpy(d + 9, "SELECTEDSERIAL16", 16);
        std::vector<VciStatusRecord> list;
        {
            FakeService service(d, std::chrono::milliseconds(0), [](unsigned char* b) {
                b[1] = 0x7F; // the unused bytes are cleared as well
                b[4] = 0x7F;
                putCount(b, 3);
                putEntry(b, 0, "M5EC0000XJ70001A");
                putEntry(b, 1, "M5EC0000XJ70002B");
                putEntry(b, 2, "M5HC0000AB70003C");
            });
            QElapsedTimer t;
            t.start();
            list = m_client.requestDeviceList();
            QVERIFY(t.elapsed() < 500);
        }
        QCOMPARE(int(list.size()), 3);
        QCOMPARE(QByteArray(list[0].SN), QByteArray("M5EC0000XJ70001A"));
        QCOMPARE(QByteArray(list[2].SN), QByteArray("M5HC0000AB70003C"));
        QCOMPARE(list[1].connType, 255);
        QCOMPARE(list[1].vbatt, 0u);
        QCOMPARE(list[1].vciIP[0], '\0');
        // Consumed: request byte 0 and bytes 1..1023 zero, the selection included.
        QCOMPARE(int(d[0]), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d), 1024), QByteArray(1024, '\0'));
    }

    void countZeroGivesEmptyList()
    {
        {
            FakeService service(m_block.data(), std::chrono::milliseconds(0), [](unsigned char* b) { putCount(b, 0); });
            QVERIFY(m_client.requestDeviceList().empty());
        } // the service's thread has ended: its writes are seen
        QCOMPARE(int(m_block.data()[0]), 0);
    }

    void countBeyondTheBlockListsWhatFitsWithoutOverrun()
    {
        std::vector<VciStatusRecord> list;
        {
            FakeService service(m_block.data(), std::chrono::milliseconds(0), [](unsigned char* b) {
                for (int i = 25; i < 1024; ++i)
                    b[i] = static_cast<unsigned char>(0x80 + (i % 100)); // no NUL, not UTF-8
                putCount(b, 0xFFFFFFFFu);
            });
            list = m_client.requestDeviceList();
        }
        QCOMPARE(int(list.size()), 62);
        for (const VciStatusRecord& r : list)
            QCOMPARE(int(std::strlen(r.SN)), 16);
        QByteArray last; // the 62nd entry, read from its own offset
        for (int i = 25 + 61 * 16; i < 25 + 62 * 16; ++i)
            last += char(0x80 + (i % 100));
        QCOMPARE(QByteArray(list[61].SN), last);
    }

    void replyAfterTheLimitIsNotConsumed()
    {
        QElapsedTimer t;
        t.start();
        std::vector<VciStatusRecord> list;
        {
            FakeService service(
                m_block.data(), std::chrono::milliseconds(0), [](unsigned char*) {}, false);
            list = m_client.requestDeviceList();
        }
        const qint64 waited = t.elapsed();
        QVERIFY(list.empty());
        QVERIFY2(waited >= 1000 && waited < 1800, qPrintable(QString::number(waited)));
        QCOMPARE(int(m_block.data()[0]), 1); // the request stays posted
    }

    void replyJustInsideTheLimitIsConsumed()
    {
        // A shorter limit keeps the test quick; the rule is the same as for 1000 ms.
        std::vector<VciStatusRecord> list;
        {
            FakeService service(m_block.data(), std::chrono::milliseconds(150), [](unsigned char* b) {
                putCount(b, 1);
                putEntry(b, 0, "LATEREPLY0000001");
            });
            list = m_client.requestDeviceList(std::chrono::milliseconds(400));
        }
        QCOMPARE(int(list.size()), 1);
        std::memset(m_block.data(), 0, 1024);
        {
            FakeService service(m_block.data(), std::chrono::milliseconds(300), [](unsigned char* b) {
                putCount(b, 1);
                putEntry(b, 0, "TOOLATE000000001");
            });
            list = m_client.requestDeviceList(std::chrono::milliseconds(100));
        }
        QVERIFY(list.empty());
        QCOMPARE(int(m_block.data()[0]), 2); // the late reply is left for the next request
    }

    void selectionAndModeWrites()
    {
        unsigned char* d = m_block.data();
        d[0] = 0x42;
        QVERIFY(m_client.writeSelectedSerial("M5EC0000XJ70001A"));
        QCOMPARE(serialAt(d), QByteArray("M5EC0000XJ70001A"));
        QVERIFY(m_client.writeSelectedSerial("SHORT"));
        QCOMPARE(serialAt(d), QByteArray("SHORT\0\0\0\0\0\0\0\0\0\0\0", 16));
        QVERIFY(m_client.writeSelectedSerial("0123456789ABCDEFXYZ"));
        QCOMPARE(serialAt(d), QByteArray("0123456789ABCDEF"));
        QCOMPARE(int(d[25]), 0); // nothing beyond the field
        QCOMPARE(int(d[0]), 0x42);
        QVERIFY(m_client.clearSelectedSerial());
        QCOMPARE(serialAt(d), QByteArray(16, '\0'));

        QVERIFY(m_client.postMode(CommandBlock::RemoteMode));
        QCOMPARE(int(d[0]), 0x10);

        std::memset(d, 0xAB, 1024);
        QVERIFY(m_client.resetForStartup());
        QCOMPARE(int(d[0]), 0x11);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d) + 1, 1023), QByteArray(1023, '\0'));
    }

    // A service that sleeps on the request event and never polls: every
    // write must wake it, and the list request gets its reply.
    void everyWriteWakesASleepingService()
    {
        platform::NamedEvent wake;
        platform::NamedEvent reply;
        QVERIFY(wake.create(blocks::requestEventName(kCommandBlock)));
        QVERIFY(reply.create(blocks::replyEventName(kCommandBlock)));
        unsigned char* d = m_block.data();
        std::atomic<int> wakes{0};
        std::atomic<bool> stop{false};
        std::thread service([&] {
            while (!stop) {
                if (!wake.wait(std::chrono::seconds(30)) || stop)
                    continue;
                if (blocks::loadRequest(d) == blocks::RequestList) {
                    blocks::writeDeviceList(d, kBlockBytes, {"WOKENBYEVENT0001"});
                    reply.signal();
                }
                ++wakes;
            }
        });
        // Stops the thread however the case ends.
        const std::unique_ptr<void, std::function<void(void*)>> joiner(&stop, [&](void*) {
            stop = true;
            wake.signal();
            service.join();
            platform::NamedEvent::remove(blocks::requestEventName(kCommandBlock));
            platform::NamedEvent::remove(blocks::replyEventName(kCommandBlock));
        });

        const auto list = m_client.requestDeviceList(std::chrono::seconds(10));
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(QByteArray(list[0].SN), QByteArray("WOKENBYEVENT0001"));
        QTRY_COMPARE(wakes.load(), 1);
        const std::function<bool()> writes[] = {[this] { return m_client.writeSelectedSerial("M5EC0000XJ70001A"); },
            [this] { return m_client.clearSelectedSerial(); },
            [this] { return m_client.postMode(CommandBlock::RemoteMode); },
            [this] { return m_client.resetForStartup(); }};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(writes[i]());
            QTRY_COMPARE(wakes.load(), i + 2);
        }
    }

    void missingBlockIsQuiet()
    {
        const CommandBlock absent("Global\\NoSuchBlockForTests");
        QElapsedTimer t;
        t.start();
        QVERIFY(absent.requestDeviceList().empty());
        QVERIFY(t.elapsed() < 100);
        QVERIFY(!absent.writeSelectedSerial("X"));
        QVERIFY(!absent.clearSelectedSerial());
        QVERIFY(!absent.postMode(0x11));
        QVERIFY(!absent.resetForStartup());
    }
};

QTEST_GUILESS_MAIN(TestCommandBlock)
#include "tst_device_command_block.moc"
