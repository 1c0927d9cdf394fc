// First show of the settings page (goal: at most 50 ms): the controller
// builds the page into the window's stack on the first Btn_Setting, the page
// reads the machine (trace folders, autostart entry, language) and is laid
// out and painted once. Each iteration is a fresh window, so every one is a
// first show; the private data root holds the trace folders and links, so the
// switch handlers run as they would on a machine with logging on.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_settings_page
#include "settings/SettingsController.h"
#include "settings/SettingsView.h"
#include "settings/SystemLogFolders.h"

#include "kit/Subsystem.h"
#include "support/SettingsTestEnv.h"
#include "support/StandInHost.h"

#include "MT7628Config.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// The window as the subsystem sees it, at the size of the settings page's area.
class BenchHost : public StandInHost {
public:
    BenchHost() { resize(740, 600); }
};

void BM_SettingsPageFirstShow(benchmark::State& state)
{
    MT7628Config config;
    for (auto _ : state) {
        BenchHost host;
        SettingsController controller(config);
        controller.attach(host);
        controller.showSettings();
        QPixmap painted = host.grab();
        benchmark::DoNotOptimize(painted);
        state.PauseTiming();
        controller.stop();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SettingsPageFirstShow)->Unit(benchmark::kMillisecond)->Iterations(30);

// A later opening of the built page: the refresh alone.
void BM_SettingsPageReopen(benchmark::State& state)
{
    MT7628Config config;
    BenchHost host;
    SettingsController controller(config);
    controller.attach(host);
    controller.showSettings();
    for (auto _ : state)
        controller.showSettings();
    controller.stop();
}
BENCHMARK(BM_SettingsPageReopen)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // Everything the page reads and writes stays in a private folder.
    SettingsTestEnv env;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    SystemLogFolders().enable();

    // The first show in a fresh process, as the program meets it: the window
    // (here a stand-in of the same size) is already up and painted.
    {
        MT7628Config config;
        BenchHost host;
        QPixmap window = host.grab();
        SettingsController controller(config);
        controller.attach(host);
        QElapsedTimer clock;
        clock.start();
        controller.showSettings();
        window = host.grab();
        std::printf("cold first show in a fresh process: %.1f ms\n", clock.nsecsElapsed() / 1e6);
        controller.stop();
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
