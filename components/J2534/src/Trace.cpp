#include "Trace.h"

#include <platform/DataRoot.h>
#include <platform/OsConventions.h>
#include <platform/Process.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

namespace j2534::trace {
namespace {

struct State {
    std::mutex mutex;
    std::FILE* file = nullptr;
    std::string path;
    std::size_t written = 0;
    bool stopped = false;
    int sessions = 0;
    int fileNumber = 0;
};

// Never destroyed: calls may come from threads that outlive static destruction.
State& state()
{
    static State* s = new State;
    return *s;
}

std::string folder()
{
    return platform::mapDataPath("C:/ProgramData/passThru4log");
}

std::string clockText()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    platform::toLocalTime(t, tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

void writeLocked(State& s, const std::string& text)
{
    if (!s.file || s.stopped)
        return;
    std::ostringstream tid;
    tid << std::this_thread::get_id();
    const std::string lineText = clockText() + " [" + tid.str() + "] " + text + "\n";
    static const std::string last = "trace stopped: it reached its limit of 8 MiB\n";
    if (s.written + lineText.size() + last.size() > kTraceLimit) {
        std::fputs(last.c_str(), s.file);
        std::fflush(s.file);
        s.stopped = true;
        return;
    }
    std::fputs(lineText.c_str(), s.file);
    std::fflush(s.file);
    s.written += lineText.size();
}

} // namespace

void sessionStarts()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.sessions;
    if (s.file)
        return;
    std::error_code ec;
    const std::string dir = folder();
    if (!std::filesystem::is_directory(std::filesystem::u8path(dir), ec))
        return;
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    platform::toLocalTime(t, tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string name = std::string("BrindlewickJ2534-") + stamp + "-pid" + std::to_string(platform::currentProcessId());
    if (++s.fileNumber > 1)
        name += "-" + std::to_string(s.fileNumber);
    const std::string path = dir + "/" + name + ".txt";
#ifdef _WIN32
    s.file = _wfopen(std::filesystem::u8path(path).wstring().c_str(), L"ab");
#else
    s.file = std::fopen(path.c_str(), "ae");
#endif
    if (!s.file)
        return;
    s.path = path;
    s.written = 0;
    s.stopped = false;
    writeLocked(s,
        "Brindlewick J2534 " BW_J2534_VERSION " (API 04.04) trace, process "
            + std::to_string(platform::currentProcessId()));
}

void sessionEnds()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.sessions > 0)
        --s.sessions;
    if (s.sessions == 0 && s.file) {
        writeLocked(s, "session ended");
        std::fclose(s.file);
        s.file = nullptr;
        s.path.clear();
    }
}

bool active()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.file && !s.stopped;
}

std::string currentFile()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.path;
}

void line(const std::string& text)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    writeLocked(s, text);
}

void note(const std::string& text)
{
    line("  note: " + text);
}

std::string describe(unsigned long protocolId, unsigned long rxStatus, unsigned long txFlags, unsigned long timestamp,
    const unsigned char* data, std::size_t size)
{
    char head[160];
    std::snprintf(head, sizeof head,
        "Protocol=0x%lX RxStatus=0x%lX TxFlags=0x%lX Timestamp=%lu DataSize=%zu Data=", protocolId, rxStatus, txFlags,
        timestamp, size);
    std::string out = head;
    const std::size_t shown = size > 256 ? 256 : size;
    static const char* hex = "0123456789ABCDEF";
    for (std::size_t i = 0; i < shown; ++i) {
        if (i)
            out += ' ';
        out += hex[data[i] >> 4];
        out += hex[data[i] & 15];
    }
    if (shown < size)
        out += " ...";
    return out;
}

void received(unsigned long device, const passthru::RxEvent& rx)
{
    if (!active())
        return;
    for (const passthru::Message& m : rx.messages)
        line("  device " + std::to_string(device) + " adapter channel " + std::to_string(rx.channel) + " RX "
            + describe(m.protocolId, m.rxStatus, m.txFlags, static_cast<unsigned long>(m.timestamp), m.data.data(),
                m.data.size()));
}

void busState(unsigned long device, std::uint32_t channel, std::uint32_t state)
{
    static const char* names[] = {"active", "error passive", "bus off"};
    line("  device " + std::to_string(device) + " adapter channel " + std::to_string(channel) + " bus "
        + (state < 3 ? names[state] : "?"));
}

} // namespace j2534::trace
