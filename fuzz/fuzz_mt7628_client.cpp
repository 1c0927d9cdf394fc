// MT7628Config against a hostile module: a loopback peer reads the request,
// answers with the fuzzer's bytes and closes. Every call must come back at
// once (the peer always closes, so no time-out is involved) with the result
// docs/mt7628-protocol.md gives for that answer: the failure values when the
// first line is not a well-formed reply with "ok": true, fields terminated
// and cut to fit, numbers clamped. The peer also checks the request line.
#include "FuzzSupport.h"

#include <MT7628Config.h>
#include <Mt7628Protocol.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace {

// The module's end: one connection at a time, forever.
class HostileModule {
public:
    HostileModule()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
            std::fprintf(stderr, "cannot listen on loopback\n");
            std::abort();
        }
        m_port = ntohs(addr.sin_port);
        std::thread([this] { serve(); }).detach();
    }

    int port() const { return m_port; }

    // The answer for the next connection; the request line it got.
    void answerWith(std::string reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reply = std::move(reply);
        m_request.clear();
    }
    std::string request()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

private:
    void serve()
    {
        for (;;) {
            const int c = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            std::string line;
            char buf[4096];
            while (line.find('\n') == std::string::npos && line.size() < 2 * mt7628::kMaxFrameBytes) {
                pollfd p{c, POLLIN, 0};
                if (::poll(&p, 1, 2000) <= 0)
                    break;
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                line.append(buf, static_cast<std::size_t>(n));
            }
            std::string reply;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_request = line;
                reply = m_reply;
            }
            for (std::size_t sent = 0; sent < reply.size();) {
                const ssize_t n = ::send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            // Close after the client, so the port numbers in TIME_WAIT are
            // the client's (reused on loopback) and never run out.
            ::shutdown(c, SHUT_WR);
            for (;;) {
                pollfd p{c, POLLIN, 0};
                if (::poll(&p, 1, 2000) <= 0 || ::recv(c, buf, sizeof buf, 0) <= 0)
                    break;
            }
            ::close(c);
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::string m_reply;
    std::string m_request;
};

HostileModule& module()
{
    static HostileModule* m = new HostileModule; // lives as long as its thread
    return *m;
}

template <std::size_t N>
bool terminated(const char (&field)[N])
{
    return ::strnlen(field, N) < N;
}

// The reply as the module's protocol reads it: the first line, if any.
struct Answer {
    bool answered = false; // a complete, well-formed reply line with a boolean "ok"
    bool ok = false;       // ... whose "ok" is true
    Json::Value reply;
};

Answer readAnswer(const std::string& bytes)
{
    Answer a;
    const std::size_t nl = bytes.find('\n');
    if (nl == std::string::npos || nl + 1 > mt7628::kMaxFrameBytes)
        return a;
    bool ok = false;
    a.answered = mt7628::decodeFrame(bytes.substr(0, nl), a.reply) && mt7628::getBool(a.reply, "ok", ok);
    a.ok = a.answered && ok;
    return a;
}

std::string text(const Json::Value& reply, const char* key, bool* found = nullptr)
{
    std::string s;
    const bool got = mt7628::getString(reply, key, s);
    if (found)
        *found = got;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const int op = in.byte() % 16;
    const std::string arg1 = in.piece();
    const std::string arg2 = in.piece();
    const std::string replyBytes = in.rest();

    HostileModule& peer = module();
    peer.answerWith(replyBytes);
    MT7628Config config;
    config.setPort(peer.port());
    config.setTimeouts(2000, 2000);
    const std::string ip = "127.0.0.1";
    // What the module answered, as its protocol reads it: nothing when the
    // library sent no request.
    Answer a;
    auto settle = [&] { a = peer.request().empty() ? Answer() : readAnswer(replyBytes); };

    const char* expectedOp = nullptr;
    bool failed = false; // the call's documented failure result
    auto plain = [&](const char* name, bool result) {
        expectedOp = name;
        failed = !result;
        settle();
        BW_FUZZ_CHECK(result == a.ok);
    };
    switch (op) {
    case 0:
        plain(mt7628::op::kReboot, config.RebootVci(ip.c_str()));
        break;
    case 1:
        plain(mt7628::op::kBuzz, config.RequestBuzz(ip.c_str()));
        break;
    case 2:
        plain(mt7628::op::kRelease, config.Contact_occupancy(ip.c_str()));
        break;
    case 3: {
        expectedOp = mt7628::op::kGetRemoteKey;
        std::string key = "unchanged";
        const bool got = config.GetRemoteKey(arg1.c_str(), ip, key);
        settle();
        bool found = false;
        const std::string stored = text(a.reply, "key", &found);
        failed = !got;
        BW_FUZZ_CHECK(got == (a.ok && found));
        BW_FUZZ_CHECK(key == (got ? stored : std::string("unchanged")));
        break;
    }
    case 4:
        plain(mt7628::op::kSetRemoteKey, config.SetRemoteKey(arg1.c_str(), ip, arg2));
        break;
    case 5: {
        expectedOp = mt7628::op::kGetEnet;
        bool on = false;
        const bool got = config.GetENET(ip.c_str());
        settle();
        failed = !got;
        BW_FUZZ_CHECK(got == (a.ok && mt7628::getBool(a.reply, "on", on) && on));
        break;
    }
    case 6:
        plain(mt7628::op::kSetEnet, config.SetENET(ip.c_str(), !arg1.empty()));
        break;
    case 7: {
        expectedOp = mt7628::op::kApList;
        const std::vector<survey_table> list = config.get_ap_list(ip);
        settle();
        failed = list.empty();
        std::size_t named = 0;
        if (a.ok && a.reply["aps"].isArray())
            for (const Json::Value& ap : a.reply["aps"])
                named += ap.isObject() && ap.isMember("ssid") && ap["ssid"].isString();
        BW_FUZZ_CHECK(list.size() == named);
        for (const survey_table& t : list) {
            BW_FUZZ_CHECK(terminated(t.ssid) && terminated(t.bssid) && terminated(t.security));
            BW_FUZZ_CHECK(terminated(t.wireless_mode));
            BW_FUZZ_CHECK(t.channel >= 0 && t.channel <= 255 && t.signal >= 0 && t.signal <= 100);
            BW_FUZZ_CHECK(t.rssi >= -150 && t.rssi <= 0);
        }
        break;
    }
    case 8: {
        expectedOp = mt7628::op::kApInfo;
        const apclient_info info = config.get_ap_info(ip);
        settle();
        apclient_info zero;
        std::memset(&zero, 0, sizeof zero);
        failed = std::memcmp(&info, &zero, sizeof zero) == 0;
        bool joined = false;
        if (!(a.ok && mt7628::getBool(a.reply, "joined", joined) && joined))
            BW_FUZZ_CHECK(failed);
        BW_FUZZ_CHECK(terminated(info.ssid) && terminated(info.bssid) && terminated(info.security));
        BW_FUZZ_CHECK(terminated(info.ip) && info.signal >= 0 && info.signal <= 100);
        break;
    }
    case 9: {
        expectedOp = mt7628::op::kClientStatus;
        bool joined = false;
        const bool got = config.get_client_status(ip);
        settle();
        failed = !got;
        BW_FUZZ_CHECK(got == (a.ok && mt7628::getBool(a.reply, "joined", joined) && joined));
        break;
    }
    case 10: {
        expectedOp = mt7628::op::kConnectAp;
        const std::string result = config.connect_to_ap(ip, arg1, arg2);
        settle();
        failed = result.empty();
        // Empty only without an answer; the module's text, else OK / failed.
        BW_FUZZ_CHECK(result.empty() == !a.answered);
        const std::string said = text(a.reply, a.ok ? "message" : "error");
        if (a.answered)
            BW_FUZZ_CHECK(result == (!said.empty() ? said : std::string(a.ok ? "OK" : "failed")));
        break;
    }
    case 11: {
        expectedOp = mt7628::op::kKillExe;
        const std::string result = config.KillExe(ip);
        settle();
        failed = result.empty();
        bool found = false;
        const std::string said = text(a.reply, "message", &found);
        BW_FUZZ_CHECK(result == (!a.ok ? std::string() : found ? said : std::string("OK")));
        break;
    }
    case 12:
        plain(mt7628::op::kConfigReset, config.Config_reset(ip));
        break;
    case 13:
        plain(mt7628::op::kSetWifi, config.Set_Wifi_Info(ip, arg1, arg2));
        break;
    case 14: {
        expectedOp = mt7628::op::kGetWifi;
        const std::string result = config.Get_Wifi_Info(ip);
        settle();
        const std::string name = text(a.reply, "name");
        const std::string expected = a.ok && !name.empty()
            ? name + MT7628Config::kWifiInfoSeparator + text(a.reply, "password")
            : std::string();
        failed = result.empty();
        BW_FUZZ_CHECK(result == expected);
        break;
    }
    default: {
        expectedOp = mt7628::op::kStatus;
        vci_status status;
        status.serial = "unchanged";
        const bool got = config.GetVciStatus(ip, status);
        settle();
        failed = !got;
        BW_FUZZ_CHECK(got == (a.ok && !text(a.reply, "serial").empty()));
        if (got) {
            BW_FUZZ_CHECK(status.serial == text(a.reply, "serial") && status.key == text(a.reply, "key"));
            BW_FUZZ_CHECK(status.connType == text(a.reply, "connType") && status.ip == text(a.reply, "ip"));
        } else {
            BW_FUZZ_CHECK(status.serial == "unchanged");
        }
        break;
    }
    }

    // The module gets one well-formed line with the operation and the
    // caller's arguments as given, or nothing (and the call failed).
    const std::string sent = peer.request();
    if (sent.empty()) {
        BW_FUZZ_CHECK(failed);
        return 0;
    }
    Json::Value request;
    BW_FUZZ_CHECK(mt7628::decodeFrame(sent, request));
    BW_FUZZ_CHECK(text(request, "op") == expectedOp);
    if (op == 10)
        BW_FUZZ_CHECK(text(request, "ssid") == arg1 && text(request, "password") == arg2);
    if (op == 13)
        BW_FUZZ_CHECK(text(request, "name") == arg1 && text(request, "password") == arg2);
    if (op == 4)
        BW_FUZZ_CHECK(text(request, "key") == arg2 && text(request, "serial") == arg1.substr(0, arg1.find('\0')));
    return 0;
}
