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
        status.holdOwnership(); // as the service does: readers trust the text while it is held
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

// The whole read of one status pass: the owner and size checks, the copy,
// one parse, AppShared, record.
void BM_ReadVciStatus(benchmark::State& state)
{
    VciStatusRecord r;
    if (!readVciStatus(r))
        state.SkipWithError("the status block is not seen");
    for (auto _ : state) {
        benchmark::DoNotOptimize(readVciStatus(r));
    }
}
BENCHMARK(BM_ReadVciStatus);

// The service check the start-up housekeeping makes: open, ask the lock, close.
void BM_StatusOwnerAlive(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(statusOwnerAlive());
}
BENCHMARK(BM_StatusOwnerAlive);

// One pass of the status loop when nothing changed (the idle cost per second).
void BM_IdleStatusPass(benchmark::State& state)
{
    DeviceStatusLoop loop(DeviceStatusLoop::Hooks{{}, [] { return false; }, {}, {}, {}, {}});
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
