// Whole-process benchmark of the manager against a bare Qt window, measured in
// the same run on the same X server:
//   start-to-window: from fork to the X server's MapNotify of the first
//                    top-level window at least 900 pixels wide (the splash
//                    screen is smaller and does not count);
//   idle CPU:        user + system time over an idle period after the map;
//   resident memory: VmRSS at the end of the idle period.
// Usage: startup_bench <manager> <bare-window> [runs=5] [idle-seconds=60]
// BW_BENCH_CONFIG_SEED=DIR: each start begins with a copy of DIR as its configuration folder.
// Needs DISPLAY (run it under xvfb-run).
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double startMs = -1;
    double idleCpuPercent = -1;
    long rssKiB = -1;
};

long ticksOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

long rssOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

pid_t launch(const std::string& program, const std::string& home)
{
    std::fflush(stdout); // the child must not repeat what is still buffered
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("BRINDLEWICK_DATA_ROOT", (home + "/data").c_str(), 1);
        setenv("BRINDLEWICK_REGISTRY_ROOT", (home + "/registry").c_str(), 1);
        setenv("BRINDLEWICK_NO_SERVICE_START", "1", 1);
        // A configuration to start from (remembered credentials, for one).
        if (const char* seed = std::getenv("BW_BENCH_CONFIG_SEED")) {
            const std::string copy = "mkdir -p '" + home + "/config' && cp -r '" + seed + "/.' '" + home + "/config/'";
            if (std::system(copy.c_str()) != 0)
                _exit(126);
        }
        unsetenv("QT_QPA_PLATFORM");
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for the MapNotify of a top-level window at least 900 pixels wide.
bool waitForMainWindowMap(xcb_connection_t* c, double timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::duration<double, std::milli>(timeoutMs);
    const int fd = xcb_get_file_descriptor(c);
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const bool isMap = (event->response_type & ~0x80) == XCB_MAP_NOTIFY;
            xcb_window_t window = isMap ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
            free(event);
            if (!isMap)
                continue;
            auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
            const bool main = geometry && geometry->width >= 900;
            free(geometry);
            if (main)
                return true;
        }
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 2000};
        select(fd + 1, &set, nullptr, nullptr, &tv);
    }
    return false;
}

Sample measure(xcb_connection_t* c, const std::string& program, int idleSeconds, bool measureIdle)
{
    char home[] = "/tmp/bw-bench-XXXXXX";
    if (!mkdtemp(home))
        return {};
    Sample sample;
    while (xcb_generic_event_t* stale = xcb_poll_for_event(c))
        free(stale);
    const auto start = Clock::now();
    const pid_t pid = launch(program, home);
    if (waitForMainWindowMap(c, 20000))
        sample.startMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (measureIdle && sample.startMs >= 0) {
        std::this_thread::sleep_for(std::chrono::seconds(2)); // let start-up work settle
        const long before = ticksOf(pid);
        const auto idleStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const long after = ticksOf(pid);
        const double seconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
        sample.idleCpuPercent = 100.0 * double(after - before) / double(sysconf(_SC_CLK_TCK)) / seconds;
        sample.rssKiB = rssOf(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::system((std::string("rm -rf ") + home).c_str());
    return sample;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <manager> <bare-window> [runs] [idle-seconds]\n", argv[0]);
        return 2;
    }
    const std::string manager = argv[1], bare = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 60;

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display; run under xvfb-run\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    std::vector<double> managerStarts, bareStarts;
    Sample managerIdle, bareIdle;
    for (int i = 0; i < runs; ++i) {
        // Alternate so that both see the same machine state.
        const bool last = i == runs - 1;
        Sample b = measure(c, bare, idleSeconds, last);
        Sample m = measure(c, manager, idleSeconds, last);
        bareStarts.push_back(b.startMs);
        managerStarts.push_back(m.startMs);
        if (last) {
            bareIdle = b;
            managerIdle = m;
        }
        std::printf("run %d: bare %.1f ms, manager %.1f ms\n", i + 1, b.startMs, m.startMs);
    }
    const double mb = median(bareStarts), mm = median(managerStarts);
    std::printf("median start-to-window: bare %.1f ms, manager %.1f ms, ratio %.2f (goal <= 1.30)\n", mb, mm, mm / mb);
    std::printf("idle CPU over %d s: bare %.3f %%, manager %.3f %% of one core (goal < 0.5 %%)\n", idleSeconds,
        bareIdle.idleCpuPercent, managerIdle.idleCpuPercent);
    std::printf("resident memory: bare %ld KiB, manager %ld KiB, ratio %.2f (goal <= 1.30)\n", bareIdle.rssKiB,
        managerIdle.rssKiB, double(managerIdle.rssKiB) / double(bareIdle.rssKiB));
    xcb_disconnect(c);
    const bool ok = mm <= 1.3 * mb && managerIdle.idleCpuPercent < 0.5 && managerIdle.rssKiB <= 1.3 * bareIdle.rssKiB;
    return ok ? 0 : 1;
}
