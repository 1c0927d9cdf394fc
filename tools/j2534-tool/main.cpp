// j2534-tool: a command-line J2534 04.04 application. It loads the pass-thru
// library by path the way any application does (never linked to it) and
// shows the chain to the vehicle working: adapter versions and battery
// voltage, the VIN, the stored trouble codes of every ECU, clearing them,
// and a live-data watch.
#include "j2534.h"
#include "j2534/Messages.h"
#include "j2534/Registration.h"

#include <platform/Library.h>
#include <platform/Process.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* kUsageText
    = "usage: j2534-tool [--library PATH] [--device NAME] info|vin|dtc|clear|watch [--rate MS] [--count N]\n"
      "  info   adapter firmware, library and API versions, battery voltage\n"
      "  vin    the VIN by OBD-II mode 09 and by UDS ReadDataByIdentifier F190\n"
      "  dtc    stored trouble codes of every ECU (OBD-II mode 03, UDS 19 02)\n"
      "  clear  clear them (OBD-II mode 04, UDS 14 FF FF FF)\n"
      "  watch  engine speed, vehicle speed and coolant every MS (default 500) ms, N times (default: until stopped)\n"
      "  --library  the J2534 library (default: the registered Brindlewick J2534 library)\n"
      "  --device   the adapter: IP, IP:PORT or serial (default: the one the Brindlewick service selected)\n";

enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNoLibrary = 3 };

// ---- The library ---------------------------------------------------------------------
struct Api {
    long(PTAPI* Open)(void*, unsigned long*);
    long(PTAPI* Close)(unsigned long);
    long(PTAPI* Connect)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long*);
    long(PTAPI* Disconnect)(unsigned long);
    long(PTAPI* ReadMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long);
    long(PTAPI* WriteMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long);
    long(PTAPI* StartMsgFilter)(
        unsigned long, unsigned long, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*, unsigned long*);
    long(PTAPI* ReadVersion)(unsigned long, char*, char*, char*);
    long(PTAPI* GetLastError)(char*);
    long(PTAPI* Ioctl)(unsigned long, unsigned long, void*, void*);
};

Api api;

// Thrown on a failed call: what the tool tried, and the library's own words.
struct Failure {
    std::string text;
};

std::string lastError()
{
    char text[80] = {0};
    if (api.GetLastError(text) != STATUS_NOERROR)
        return "no description";
    text[79] = '\0';
    return text;
}

void check(long status, const std::string& what)
{
    if (status != STATUS_NOERROR)
        throw Failure{what + ": " + lastError() + " (status " + std::to_string(status) + ")"};
}

// Where an application finds the library: the registration, else the one
// beside this program.
std::string defaultLibrary(std::string* how)
{
    std::string self = platform::modulePath();
    const auto slash = self.find_last_of("/\\");
    const auto found = j2534::locateLibrary(slash == std::string::npos ? std::string(".") : self.substr(0, slash));
    *how = found.how;
    return found.path;
}

bool loadApi(platform::Library& lib, const std::string& path, std::string* error)
{
    if (!lib.load(path)) {
        *error = lib.errorString();
        return false;
    }
    const auto bind = [&](auto& fn, const char* name) {
        fn = lib.resolveFunction<std::remove_reference_t<decltype(fn)>>(name);
        return fn != nullptr;
    };
    if (!bind(api.Open, "PassThruOpen") || !bind(api.Close, "PassThruClose") || !bind(api.Connect, "PassThruConnect")
        || !bind(api.Disconnect, "PassThruDisconnect") || !bind(api.ReadMsgs, "PassThruReadMsgs")
        || !bind(api.WriteMsgs, "PassThruWriteMsgs") || !bind(api.StartMsgFilter, "PassThruStartMsgFilter")
        || !bind(api.ReadVersion, "PassThruReadVersion") || !bind(api.GetLastError, "PassThruGetLastError")
        || !bind(api.Ioctl, "PassThruIoctl")) {
        *error = lib.errorString();
        return false;
    }
    return true;
}

// ---- ISO 15765 requests --------------------------------------------------------------
struct Ecu {
    const char* name;
    unsigned long request, response;
};

// The usual 11-bit physical pairs: OBD-II's on pins 6/14, the body bus's on 3/11.
const std::vector<Ecu> kObdBus
    = {{"engine (0x7E0)", 0x7E0, 0x7E8}, {"0x7E1", 0x7E1, 0x7E9}, {"0x7E2", 0x7E2, 0x7EA}, {"0x7E3", 0x7E3, 0x7EB},
        {"0x7E4", 0x7E4, 0x7EC}, {"0x7E5", 0x7E5, 0x7ED}, {"0x7E6", 0x7E6, 0x7EE}, {"0x7E7", 0x7E7, 0x7EF}};
const std::vector<Ecu> kBodyBus = {{"0x740", 0x740, 0x748}, {"0x710", 0x710, 0x77A}};
constexpr unsigned long kFunctional = 0x7DF;

using j2534::isoMessage;

class Session {
public:
    explicit Session(const std::string& device)
    {
        check(api.Open(device.empty() ? nullptr : const_cast<char*>(device.c_str()), &m_device),
            "cannot open the adapter" + (device.empty() ? std::string() : " \"" + device + "\""));
    }
    ~Session()
    {
        for (unsigned long ch : m_channels)
            api.Disconnect(ch);
        api.Close(m_device);
    }
    unsigned long device() const { return m_device; }

    // The ISO15765 channel at 500 kbit/s of a bus (`pins` 0: the OBD pins
    // 6/14 with plain ISO15765, else a pin-selectable channel), with a
    // flow-control filter for each ECU; connected once per bus.
    unsigned long connect(unsigned long pins, const std::vector<Ecu>& ecus)
    {
        const unsigned long protocol = pins ? ISO15765_PS : ISO15765;
        auto it = m_byPins.find(pins);
        if (it == m_byPins.end()) {
            unsigned long ch = 0;
            check(api.Connect(m_device, protocol, 0, 500000, &ch),
                std::string("cannot connect ISO15765 on pins ") + (pins == 0x030B ? "3/11" : "6/14"));
            m_channels.push_back(ch);
            if (pins) {
                SCONFIG cfg[1] = {{J1962_PINS, pins}};
                SCONFIG_LIST list{1, cfg};
                check(api.Ioctl(ch, SET_CONFIG, &list, nullptr), "cannot select pins 3/11");
            }
            it = m_byPins.emplace(pins, ch).first;
        }
        for (const Ecu& e : ecus) {
            if (!m_filtered.insert({it->second, e.response}).second)
                continue;
            PASSTHRU_MSG mask = isoMessage(protocol, 0xFFFFFFFF, {});
            PASSTHRU_MSG pattern = isoMessage(protocol, e.response, {});
            PASSTHRU_MSG flow = isoMessage(protocol, e.request, {});
            unsigned long filter = 0;
            check(api.StartMsgFilter(it->second, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter),
                "cannot set the flow-control filter of ECU " + std::string(e.name));
        }
        return it->second;
    }

    // Sends `data` to each request id, then collects one answer per
    // response id until every ECU answered or `waitMs` passed (5 s more for
    // an ECU that says "response pending").
    std::map<unsigned long, std::vector<unsigned char>> ask(unsigned long ch, unsigned long protocol,
        const std::vector<unsigned long>& requestIds, const std::vector<unsigned long>& responseIds,
        const std::vector<unsigned char>& data, unsigned waitMs, std::size_t expected)
    {
        api.Ioctl(ch, CLEAR_RX_BUFFER, nullptr, nullptr);
        std::vector<PASSTHRU_MSG> out;
        for (unsigned long id : requestIds)
            out.push_back(isoMessage(protocol, id, data));
        unsigned long n = static_cast<unsigned long>(out.size());
        check(api.WriteMsgs(ch, out.data(), &n, 1000), "cannot send the request");
        std::map<unsigned long, std::vector<unsigned char>> answers;
        using Clock = std::chrono::steady_clock;
        auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (answers.size() < expected) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            PASSTHRU_MSG in;
            unsigned long count = 1;
            const long s = api.ReadMsgs(ch, &in, &count, static_cast<unsigned long>(left));
            if (s == ERR_BUFFER_EMPTY || s == ERR_TIMEOUT)
                break;
            if (s != STATUS_NOERROR && s != ERR_BUFFER_OVERFLOW)
                check(s, "cannot read the answers");
            if (count == 0 || (in.RxStatus & (TX_MSG_TYPE | START_OF_MESSAGE | TX_INDICATION)) || in.DataSize < 5)
                continue;
            const unsigned long id = j2534::messageId(in);
            if (std::find(responseIds.begin(), responseIds.end(), id) == responseIds.end())
                continue;
            std::vector<unsigned char> payload(in.Data + 4, in.Data + in.DataSize);
            if (payload.size() >= 3 && payload[0] == 0x7F && payload[1] == data[0] && payload[2] == 0x78) {
                deadline = std::max(deadline, Clock::now() + std::chrono::seconds(5));
                continue;
            }
            answers[id] = std::move(payload);
        }
        return answers;
    }

private:
    unsigned long m_device = 0;
    std::vector<unsigned long> m_channels;
    std::map<unsigned long, unsigned long> m_byPins;
    std::set<std::pair<unsigned long, unsigned long>> m_filtered; // (channel, response id)
};

std::string hexBytes(const std::vector<unsigned char>& b, std::size_t from = 0)
{
    std::string out;
    char buf[4];
    for (std::size_t i = from; i < b.size(); ++i) {
        std::snprintf(buf, sizeof buf, i > from ? " %02X" : "%02X", b[i]);
        out += buf;
    }
    return out;
}

const char* nrcText(unsigned char nrc)
{
    switch (nrc) {
    case 0x11:
        return "service not supported";
    case 0x12:
        return "sub-function not supported";
    case 0x13:
        return "incorrect message length or format";
    case 0x22:
        return "conditions not correct";
    case 0x31:
        return "request out of range";
    case 0x33:
        return "security access denied";
    default:
        return "negative response";
    }
}

// A negative answer in words, or "" for a positive one of `service`.
std::string negative(const std::vector<unsigned char>& a, unsigned char service)
{
    if (a.size() >= 3 && a[0] == 0x7F) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%s (0x%02X)", nrcText(a[2]), a[2]);
        return buf;
    }
    if (a.empty() || a[0] != service + 0x40)
        return "unexpected answer " + hexBytes(a);
    return {};
}

std::string printable(const std::vector<unsigned char>& b, std::size_t from)
{
    std::string s;
    for (std::size_t i = from; i < b.size(); ++i)
        s += (b[i] >= 0x20 && b[i] < 0x7F) ? static_cast<char>(b[i]) : '.';
    return s;
}

// SAE J2012: two bytes -> "P0301".
std::string dtcName(unsigned char hi, unsigned char lo)
{
    static const char letters[] = {'P', 'C', 'B', 'U'};
    char buf[8];
    std::snprintf(buf, sizeof buf, "%c%X%X%02X", letters[hi >> 6], (hi >> 4) & 3, hi & 15, lo);
    return buf;
}

// ---- Commands -----------------------------------------------------------------------
int info(const std::string& device)
{
    Session s(device);
    char fw[80] = {0}, dll[80] = {0}, apiVersion[80] = {0};
    check(api.ReadVersion(s.device(), fw, dll, apiVersion), "cannot read the versions");
    unsigned long mv = 0;
    check(api.Ioctl(s.device(), READ_VBATT, nullptr, &mv), "cannot read the battery voltage");
    std::printf("Adapter firmware: %s\nLibrary version:  %s\nAPI version:      %s\nBattery voltage:  %lu.%02lu V\n", fw,
        dll, apiVersion, mv / 1000, (mv % 1000) / 10);
    return kOk;
}

int vin(const std::string& device)
{
    Session s(device);
    const unsigned long ch = s.connect(0, {kObdBus[0]});
    int found = 0;
    auto obd = s.ask(ch, ISO15765, {kFunctional}, {0x7E8}, {0x09, 0x02}, 2000, 1);
    if (obd.count(0x7E8) && negative(obd[0x7E8], 0x09).empty() && obd[0x7E8].size() >= 3) {
        std::printf("VIN (OBD-II mode 09 PID 02): %s\n", printable(obd[0x7E8], 3).c_str());
        ++found;
    } else {
        std::printf("VIN (OBD-II mode 09 PID 02): %s\n",
            obd.count(0x7E8) ? negative(obd[0x7E8], 0x09).c_str() : "no answer from the engine ECU");
    }
    auto uds = s.ask(ch, ISO15765, {0x7E0}, {0x7E8}, {0x22, 0xF1, 0x90}, 2000, 1);
    if (uds.count(0x7E8) && negative(uds[0x7E8], 0x22).empty() && uds[0x7E8].size() >= 3) {
        std::printf("VIN (UDS 22 F190):           %s\n", printable(uds[0x7E8], 3).c_str());
        ++found;
    } else {
        std::printf("VIN (UDS 22 F190):           %s\n",
            uds.count(0x7E8) ? negative(uds[0x7E8], 0x22).c_str() : "no answer from the engine ECU");
    }
    return found ? kOk : kFailed;
}

// Every ECU of both buses: one request each, the answers collected together.
std::vector<std::pair<Ecu, std::vector<unsigned char>>> askAll(Session& s, const std::vector<unsigned char>& request)
{
    std::vector<std::pair<Ecu, std::vector<unsigned char>>> out;
    const struct {
        unsigned long pins;
        const std::vector<Ecu>* ecus;
    } buses[] = {{0, &kObdBus}, {0x030B, &kBodyBus}};
    for (const auto& bus : buses) {
        const unsigned long ch = s.connect(bus.pins, *bus.ecus);
        std::vector<unsigned long> req, resp;
        for (const Ecu& e : *bus.ecus) {
            req.push_back(e.request);
            resp.push_back(e.response);
        }
        auto answers = s.ask(ch, bus.pins ? ISO15765_PS : ISO15765, req, resp, request, 1000, bus.ecus->size());
        for (const Ecu& e : *bus.ecus)
            if (answers.count(e.response))
                out.push_back({e, answers[e.response]});
    }
    return out;
}

int dtc(const std::string& device)
{
    Session s(device);
    {
        const unsigned long ch = s.connect(0, kObdBus);
        std::vector<unsigned long> resp;
        for (const Ecu& e : kObdBus)
            resp.push_back(e.response);
        auto obd = s.ask(ch, ISO15765, {kFunctional}, resp, {0x03}, 1000, kObdBus.size());
        if (obd.empty())
            std::printf("OBD-II mode 03: no ECU answered\n");
        for (auto& [id, a] : obd) {
            const std::string no = negative(a, 0x03);
            std::printf("OBD-II mode 03, ECU 0x%03lX: ", id);
            if (!no.empty()) {
                std::printf("%s\n", no.c_str());
                continue;
            }
            std::string codes;
            for (std::size_t i = 2; i + 1 < a.size(); i += 2)
                if (a[i] || a[i + 1])
                    codes += (codes.empty() ? "" : " ") + dtcName(a[i], a[i + 1]);
            std::printf("%s\n", codes.empty() ? "no stored codes" : codes.c_str());
        }
    }
    const auto all = askAll(s, {0x19, 0x02, 0xFF});
    if (all.empty())
        throw Failure{"no ECU answered UDS ReadDTCInformation"};
    for (const auto& [ecu, a] : all) {
        std::printf("UDS 19 02, ECU %s: ", ecu.name);
        const std::string no = negative(a, 0x19);
        if (!no.empty()) {
            std::printf("%s\n", no.c_str());
            continue;
        }
        if (a.size() < 3 || (a.size() - 3) % 4) {
            std::printf("malformed answer %s\n", hexBytes(a).c_str());
            continue;
        }
        if (a.size() == 3)
            std::printf("no stored codes\n");
        else
            std::printf("\n");
        for (std::size_t i = 3; i + 3 < a.size(); i += 4) {
            std::string code = dtcName(a[i], a[i + 1]);
            if (a[i + 2]) {
                char ftb[8];
                std::snprintf(ftb, sizeof ftb, "-%02X", a[i + 2]);
                code += ftb;
            }
            std::printf("  %-9s status 0x%02X\n", code.c_str(), a[i + 3]);
        }
    }
    return kOk;
}

int clear(const std::string& device)
{
    Session s(device);
    bool ok = true;
    {
        const unsigned long ch = s.connect(0, kObdBus);
        std::vector<unsigned long> resp;
        for (const Ecu& e : kObdBus)
            resp.push_back(e.response);
        auto obd = s.ask(ch, ISO15765, {kFunctional}, resp, {0x04}, 1000, kObdBus.size());
        if (obd.empty())
            std::printf("OBD-II mode 04: no ECU answered\n");
        for (auto& [id, a] : obd) {
            const std::string no = negative(a, 0x04);
            std::printf("OBD-II mode 04, ECU 0x%03lX: %s\n", id, no.empty() ? "cleared" : no.c_str());
            ok = ok && no.empty();
        }
    }
    const auto all = askAll(s, {0x14, 0xFF, 0xFF, 0xFF});
    if (all.empty())
        throw Failure{"no ECU answered UDS ClearDiagnosticInformation"};
    for (const auto& [ecu, a] : all) {
        const std::string no = negative(a, 0x14);
        std::printf("UDS 14 FF FF FF, ECU %s: %s\n", ecu.name, no.empty() ? "cleared" : no.c_str());
        ok = ok && no.empty();
    }
    return ok ? kOk : kFailed;
}

int watch(const std::string& device, unsigned rateMs, long count)
{
    Session s(device);
    const unsigned long ch = s.connect(0, {kObdBus[0]});
    for (long i = 0; count < 0 || i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::string line;
        int got = 0;
        const struct {
            unsigned char pid;
            const char* name;
        } pids[] = {{0x0C, "rpm"}, {0x0D, "speed"}, {0x05, "coolant"}};
        for (const auto& p : pids) {
            auto a = s.ask(ch, ISO15765, {kFunctional}, {0x7E8}, {0x01, p.pid}, 1000, 1);
            char buf[64];
            const auto& v = a[0x7E8];
            if (v.size() >= 3 && v[0] == 0x41 && v[1] == p.pid) {
                ++got;
                if (p.pid == 0x0C && v.size() >= 4)
                    std::snprintf(buf, sizeof buf, "rpm %5u", (v[2] * 256u + v[3]) / 4);
                else if (p.pid == 0x0D)
                    std::snprintf(buf, sizeof buf, "speed %3u km/h", v[2]);
                else
                    std::snprintf(buf, sizeof buf, "coolant %4d C", v[2] - 40);
            } else {
                std::snprintf(buf, sizeof buf, "%s ?", p.name);
            }
            line += (line.empty() ? "" : "  ") + std::string(buf);
        }
        if (!got)
            throw Failure{"the engine ECU does not answer OBD-II mode 01"};
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        if (count >= 0 && i + 1 >= count)
            break;
        std::this_thread::sleep_until(start + std::chrono::milliseconds(rateMs));
    }
    return kOk;
}

bool number(const char* text, long min, long max, long* out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < min || v > max)
        return false;
    *out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string library, device, command;
    long rate = 500, count = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--library" && hasValue) {
            library = argv[++i];
        } else if (a == "--device" && hasValue) {
            device = argv[++i];
        } else if (a == "--rate" && hasValue) {
            if (!number(argv[++i], 50, 60000, &rate)) {
                std::fprintf(stderr, "j2534-tool: --rate takes 50 to 60000 ms\n");
                return kUsage;
            }
        } else if (a == "--count" && hasValue) {
            if (!number(argv[++i], 1, 1000000000L, &count)) {
                std::fprintf(stderr, "j2534-tool: --count takes a number from 1\n");
                return kUsage;
            }
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsageText, stdout);
            return kOk;
        } else if (command.empty() && a[0] != '-') {
            command = a;
        } else {
            std::fprintf(stderr, "j2534-tool: unexpected \"%s\"\n%s", a.c_str(), kUsageText);
            return kUsage;
        }
    }
    if (command != "info" && command != "vin" && command != "dtc" && command != "clear" && command != "watch") {
        std::fprintf(
            stderr, command.empty() ? "j2534-tool: no command\n%s" : "j2534-tool: unknown command\n%s", kUsageText);
        return kUsage;
    }
    std::string how = "given with --library";
    if (library.empty())
        library = defaultLibrary(&how);
    platform::Library lib;
    std::string error;
    if (!loadApi(lib, library, &error)) {
        std::fprintf(stderr, "j2534-tool: cannot load the J2534 library %s (%s): %s\n", library.c_str(), how.c_str(),
            error.c_str());
        return kNoLibrary;
    }
    try {
        if (command == "info")
            return info(device);
        if (command == "vin")
            return vin(device);
        if (command == "dtc")
            return dtc(device);
        if (command == "clear")
            return clear(device);
        return watch(device, static_cast<unsigned>(rate), count);
    } catch (const Failure& f) {
        std::fprintf(stderr, "j2534-tool: %s\n", f.text.c_str());
        return kFailed;
    }
}
