#include "kit/InternetCheck.h"

#include "BuildConfig.h"
#include "platform/LogFile.h"
#include "platform/Network.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Shared with the resolving worker, which may outlive the caller's wait.
struct ResolveState {
    std::mutex mutex;
    std::condition_variable answered;
    InternetCheck::Resolver resolver;
    std::string probeHost;
    bool inFlight = false;
    bool haveAnswer = false;
    std::string answerHost;
    std::string answer;
    Clock::time_point answeredAt;
};

std::shared_ptr<ResolveState> resolveState()
{
    static const auto state = std::make_shared<ResolveState>();
    return state;
}

bool answerIsFresh(const ResolveState& s, const std::string& host)
{
    return s.haveAnswer && s.answerHost == host
        && Clock::now() - s.answeredAt < std::chrono::milliseconds(InternetCheck::kResolveCacheMs);
}

} // namespace

namespace InternetCheck {

void setResolver(Resolver resolver)
{
    const auto s = resolveState();
    std::lock_guard<std::mutex> lock(s->mutex);
    s->resolver = std::move(resolver);
    s->haveAnswer = false;
}

void setProbeHost(const std::string& host)
{
    const auto s = resolveState();
    std::lock_guard<std::mutex> lock(s->mutex);
    s->probeHost = host;
    s->haveAnswer = false;
}

void clearResolveCache()
{
    const auto s = resolveState();
    std::lock_guard<std::mutex> lock(s->mutex);
    s->haveAnswer = false;
}

std::string resolveProbeHost()
{
    const auto s = resolveState();
    std::unique_lock<std::mutex> lock(s->mutex);
    const std::string host = s->probeHost.empty() ? std::string(BuildConfig::kInternetProbeHost) : s->probeHost;
    if (answerIsFresh(*s, host))
        return s->answer;

    // One resolution at a time; later callers wait for the one in flight.
    if (!s->inFlight) {
        Resolver resolver = s->resolver ? s->resolver : Resolver(&platform::resolveFirstIPv4);
        s->inFlight = true;
        try {
            std::thread([s, host, resolver]() {
                platform::setThreadName("internet-check"); // shown in log lines
                std::string ip = resolver(host);
                std::lock_guard<std::mutex> guard(s->mutex);
                s->answer = std::move(ip);
                s->answerHost = host;
                s->answeredAt = Clock::now();
                s->haveAnswer = true;
                s->inFlight = false;
                s->answered.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            s->inFlight = false;
            return std::string();
        }
    }
    s->answered.wait_for(lock, std::chrono::milliseconds(kResolveWaitMs), [&] { return !s->inFlight; });
    return answerIsFresh(*s, host) ? s->answer : std::string();
}

} // namespace InternetCheck

bool pingHost(const std::string& ip, unsigned long& rttMs)
{
    if (ip.empty())
        return false;
    return platform::icmpEcho(ip, InternetCheck::kEchoTimeoutMs, rttMs);
}

bool internetReachable()
{
    if (platform::connectivityProbe())
        return true;
    const std::string ip = InternetCheck::resolveProbeHost();
    if (ip.empty())
        return false;
    unsigned long rttMs = 0;
    return pingHost(ip, rttMs);
}
