// The status read and parse, the device-list mailbox round trip against a
// responsive peer thread, and the cost of one idle status pass.
#include "device/AppShared.h"
#include "device/CommandBlock.h"
#include "device/DeviceStatusLoop.h"
#include "device/ServiceWatch.h"
#include "device/VciStatusRecord.h"

#include <platform/ServiceControl.h>
#include <platform/SharedMemory.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace {

const char kStatus[] = "SN = M5EC0000XJ70001A\r\ntestIP = 169.254.100.1\r\nvciIP = 169.254.100.1\r\n"
                       "softVer = APP V1.2.3\r\nFirmwareVersion = MT7628 V2.0.1\r\nportNumber = M5WC\r\n"
                       "key = K123\r\nstatus = 1\r\nvbatt = 12345\r\nDllVersion = 4.5.6\r\nconnType = USB\r\n";

struct Blocks {
    platform::SharedMemory status;
    platform::SharedMemory command;
    Blocks()
    {
        status.create(kVciStatusBlockName, kVciStatusBlockSize);
        command.create(CommandBlock::kDefaultName, CommandBlock::kSize);
        std::memset(status.data(), 0, kVciStatusBlockSize);
        std::memcpy(status.data(), kStatus, sizeof kStatus);
    }
    ~Blocks()
    {
        platform::SharedMemory::remove(kVciStatusBlockName);
        platform::SharedMemory::remove(CommandBlock::kDefaultName);
    }
};

Blocks* g_blocks = nullptr;

void BM_CopyBlock(benchmark::State& state)
{
    unsigned char buffer[kVciStatusBlockSize];
    for (auto _ : state) {
        std::memcpy(buffer, g_blocks->status.data(), sizeof buffer);
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyBlock);

// The one parse of a pass: record and DeviceInfo from one copy.
void BM_InterpretBlock(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(interpretStatusBlock(g_blocks->status.data(), kVciStatusBlockSize));
}
BENCHMARK(BM_InterpretBlock);

void BM_OpenBlock(benchmark::State& state)
{
    for (auto _ : state) {
        platform::SharedMemory block;
        benchmark::DoNotOptimize(block.open(kVciStatusBlockName, kVciStatusBlockSize));
    }
}
BENCHMARK(BM_OpenBlock);

void BM_PublishDeviceInfo(benchmark::State& state)
{
    const DeviceInfo info = interpretStatusBlock(g_blocks->status.data(), kVciStatusBlockSize).info;
    for (auto _ : state)
        AppShared::instance()->publish(info);
}
BENCHMARK(BM_PublishDeviceInfo);

// The process list lookup behind the service check.
void BM_ServiceRunning(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::serviceRunning("BrindlewickService"));
}
BENCHMARK(BM_ServiceRunning)->Unit(benchmark::kMicrosecond);

// The whole read of one status pass: copy, one parse, AppShared, record.
// The service check is left out here (see the next one).
void BM_ReadVciStatus(benchmark::State& state)
{
    setStatusOwnerCheck([] { return true; });
    VciStatusRecord r;
    for (auto _ : state) {
        benchmark::DoNotOptimize(readVciStatus(r));
    }
}
BENCHMARK(BM_ReadVciStatus);

// The same with the real check that the service is alive: a copy of this
// program named like the service keeps the block mapped, so after the first
// call only that process is looked at.
void BM_ReadVciStatusWithServiceCheck(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("BrindlewickService"));
    QFile::copy(QCoreApplication::applicationFilePath(), exe);
    QProcess standIn;
    standIn.start(exe, {QStringLiteral("--hold-status-block")});
    standIn.waitForReadyRead(5000); // "holding" once the block is mapped
    if (!standIn.waitForStarted()) {
        state.SkipWithError("cannot start the stand-in service");
        return;
    }
    setStatusOwnerCheck({});
    VciStatusRecord r;
    if (!readVciStatus(r))
        state.SkipWithError("stand-in not seen");
    for (auto _ : state)
        benchmark::DoNotOptimize(readVciStatus(r));
    setStatusOwnerCheck([] { return true; });
    standIn.kill();
    standIn.waitForFinished();
}
BENCHMARK(BM_ReadVciStatusWithServiceCheck);

// One pass of the status loop when nothing changed (the idle cost per second).
void BM_IdleStatusPass(benchmark::State& state)
{
    setStatusOwnerCheck([] { return true; });
    DeviceStatusLoop loop(DeviceStatusLoop::Hooks{{}, [] { return false; }, {}, {}, {}});
    loop.runCycle(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(loop.runCycle(false));
}
BENCHMARK(BM_IdleStatusPass);

// List request to consumed reply, with a peer that answers as soon as it sees
// the request (the manager polls every millisecond).
void BM_DeviceListRoundTrip(benchmark::State& state)
{
    std::atomic<bool> stop{false};
    unsigned char* d = g_blocks->command.data();
    std::thread peer([d, &stop] {
        while (!stop) {
            if (*static_cast<volatile unsigned char*>(d) == CommandBlock::ListRequest) {
                d[5] = 3;
                std::memcpy(d + 25, "M5EC0000XJ70001AM5EC0000XJ70002BM5EC0000XJ70003C", 48);
                std::atomic_thread_fence(std::memory_order_release);
                *static_cast<volatile unsigned char*>(d) = CommandBlock::ListReply;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    const CommandBlock client;
    for (auto _ : state) {
        auto list = client.requestDeviceList();
        if (list.size() != 3)
            state.SkipWithError("no reply");
        benchmark::DoNotOptimize(list);
    }
    stop = true;
    peer.join();
}
BENCHMARK(BM_DeviceListRoundTrip)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-status-block") == 0) {
        // The stand-in service: maps the block like the service does and waits.
        platform::SharedMemory block;
        if (!block.open(kVciStatusBlockName, kVciStatusBlockSize))
            return 1;
        std::printf("holding\n");
        std::fflush(stdout);
        ::sleep(60);
        return 0;
    }
    qputenv("BRINDLEWICK_SHM_PREFIX", QByteArray("bwbench_") + QByteArray::number(qint64(::getpid())) + '_');
    QCoreApplication app(argc, argv);
    Blocks blocks;
    g_blocks = &blocks;
    AppShared::instance()->setRemoteKeyFetcher(
        [](const std::string&, const std::string&, std::string&) { return false; });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
