#include "Comm.h"

#include "j2534.h"
#include "j2534/Messages.h"
#include "j2534/Registration.h"

#include <platform/Library.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>

namespace vehdiag {

namespace {

using Clock = std::chrono::steady_clock;

struct Api {
    long(PTAPI* Open)(void*, unsigned long*) = nullptr;
    long(PTAPI* Close)(unsigned long) = nullptr;
    long(PTAPI* Connect)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long*) = nullptr;
    long(PTAPI* Disconnect)(unsigned long) = nullptr;
    long(PTAPI* ReadMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long) = nullptr;
    long(PTAPI* WriteMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long) = nullptr;
    long(PTAPI* StartMsgFilter)(
        unsigned long, unsigned long, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*, unsigned long*)
        = nullptr;
    long(PTAPI* GetLastError)(char*) = nullptr;
    long(PTAPI* Ioctl)(unsigned long, unsigned long, void*, void*) = nullptr;
};

unsigned long protocolOf(Bus bus)
{
    return bus == Bus::Obd ? ISO15765 : ISO15765_PS;
}

Outcome failed(Failure f, std::string detail)
{
    Outcome o;
    o.failure = f;
    o.detail = std::move(detail);
    return o;
}

} // namespace

struct Link::Impl {
    std::string fallback;
    std::string adapter;
    platform::Library library;
    Api api;
    bool deviceOpen = false;
    unsigned long device = 0;
    std::map<Bus, unsigned long> channels;
    std::set<std::pair<unsigned long, std::uint32_t>> filtered;
    std::function<void(unsigned)> waitCallback;
    const std::atomic<bool>* cancel = nullptr;

    std::string lastError()
    {
        char text[80] = {0};
        if (!api.GetLastError || api.GetLastError(text) != STATUS_NOERROR)
            return {};
        text[79] = '\0';
        return text;
    }

    Failure failureOf(long status)
    {
        switch (status) {
        case ERR_DEVICE_IN_USE:
            return Failure::AdapterInUse;
        case ERR_DEVICE_NOT_CONNECTED:
        case ERR_INVALID_DEVICE_ID:
            return deviceOpen ? Failure::AdapterLost : Failure::AdapterAbsent;
        default:
            return Failure::Failed;
        }
    }

    Outcome fail(long status, const std::string& what)
    {
        Outcome o = failed(failureOf(status), what + ": " + lastError() + " (status " + std::to_string(status) + ")");
        if (o.failure == Failure::AdapterLost)
            closeDevice();
        return o;
    }

    void closeDevice()
    {
        if (!deviceOpen)
            return;
        for (const auto& c : channels)
            api.Disconnect(c.second);
        channels.clear();
        filtered.clear();
        api.Close(device);
        deviceOpen = false;
    }

    // The bus's channel with flow-control filters for `ecus`.
    Outcome channel(Bus bus, const std::vector<EcuDefinition>& ecus, unsigned long* out)
    {
        auto it = channels.find(bus);
        if (it == channels.end()) {
            unsigned long ch = 0;
            long s = api.Connect(device, protocolOf(bus), 0, 500000, &ch);
            if (s != STATUS_NOERROR)
                return fail(s, bus == Bus::Obd ? "connect on pins 6/14" : "connect on pins 3/11");
            if (bus == Bus::Body) {
                SCONFIG cfg[1] = {{J1962_PINS, 0x030B}};
                SCONFIG_LIST list{1, cfg};
                s = api.Ioctl(ch, SET_CONFIG, &list, nullptr);
                if (s != STATUS_NOERROR) {
                    api.Disconnect(ch);
                    return fail(s, "select pins 3/11");
                }
            }
            it = channels.emplace(bus, ch).first;
        }
        for (const EcuDefinition& e : ecus) {
            if (!filtered.insert({it->second, e.responseId}).second)
                continue;
            PASSTHRU_MSG mask = j2534::isoMessage(protocolOf(bus), 0xFFFFFFFF, {});
            PASSTHRU_MSG pattern = j2534::isoMessage(protocolOf(bus), e.responseId, {});
            PASSTHRU_MSG flow = j2534::isoMessage(protocolOf(bus), e.requestId, {});
            unsigned long filter = 0;
            const long s = api.StartMsgFilter(it->second, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter);
            if (s != STATUS_NOERROR) {
                filtered.erase({it->second, e.responseId});
                return fail(s, "flow-control filter of " + e.name);
            }
        }
        *out = it->second;
        return {};
    }

    // Sends `data` to each of `requestIds` and gathers one final answer per
    // ECU of `ecus` until all answered or their time ran out.
    std::map<std::uint32_t, Outcome> exchange(Bus bus, const std::vector<EcuDefinition>& ecus,
        const std::vector<std::uint32_t>& requestIds, const Bytes& data, unsigned firstWaitMs)
    {
        std::map<std::uint32_t, Outcome> results;
        const auto everyone = [&](const Outcome& o) {
            for (const EcuDefinition& e : ecus)
                results[e.responseId] = o;
            return results;
        };
        if (data.empty())
            return everyone(failed(Failure::Failed, "empty request"));
        unsigned long ch = 0;
        Outcome c = channel(bus, ecus, &ch);
        if (!c.ok())
            return everyone(c);
        const unsigned long protocol = protocolOf(bus);
        api.Ioctl(ch, CLEAR_RX_BUFFER, nullptr, nullptr);
        std::vector<PASSTHRU_MSG> out;
        for (std::uint32_t id : requestIds)
            out.push_back(j2534::isoMessage(protocol, id, data));
        unsigned long n = static_cast<unsigned long>(out.size());
        const long ws = api.WriteMsgs(ch, out.data(), &n, 1000);
        if (ws != STATUS_NOERROR)
            return everyone(fail(ws, "send the request"));

        const auto start = Clock::now();
        const auto limit = start + std::chrono::milliseconds(kRequestLimitMs);
        std::map<std::uint32_t, Clock::time_point> deadline;
        for (const EcuDefinition& e : ecus)
            deadline[e.responseId] = start + std::chrono::milliseconds(firstWaitMs);
        auto lastTick = start;
        PASSTHRU_MSG in;
        while (!deadline.empty()) {
            if (cancel && cancel->load()) {
                for (const auto& d : deadline)
                    results[d.first] = failed(Failure::Failed, "cancelled");
                return results;
            }
            auto until = Clock::now();
            for (const auto& d : deadline)
                until = std::max(until, d.second);
            const auto now = Clock::now();
            if (now >= until) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
            unsigned long count = 1;
            const long s = api.ReadMsgs(ch, &in, &count, static_cast<unsigned long>(std::min<long long>(left, 200)));
            if (waitCallback && Clock::now() - lastTick >= std::chrono::milliseconds(200)) {
                lastTick = Clock::now();
                waitCallback(static_cast<unsigned>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(lastTick - start).count()));
            }
            if (s == ERR_BUFFER_EMPTY || s == ERR_TIMEOUT || (s == STATUS_NOERROR && count == 0))
                continue;
            if (s != STATUS_NOERROR && s != ERR_BUFFER_OVERFLOW) {
                const Outcome o = fail(s, "read the answers");
                for (const auto& d : deadline)
                    results[d.first] = o;
                return results;
            }
            if (in.RxStatus & (TX_MSG_TYPE | START_OF_MESSAGE | TX_INDICATION) || in.DataSize < 4)
                continue;
            const std::uint32_t id = j2534::messageId(in);
            const auto waiting = deadline.find(id);
            if (waiting == deadline.end())
                continue;
            Bytes payload(in.Data + 4, in.Data + std::min<unsigned long>(in.DataSize, PASSTHRU_MSG_DATA_SIZE));
            Outcome o;
            o.answer = classify(data[0], payload);
            switch (o.answer.kind) {
            case AnswerKind::Pending:
                waiting->second = std::min(limit, Clock::now() + std::chrono::milliseconds(kPendingMs));
                continue;
            case AnswerKind::Negative:
                o.nrc = o.answer.nrc;
                o.failure = (o.nrc == 0x7F || o.nrc == 0x7E) ? Failure::SessionLost : Failure::Negative;
                break;
            case AnswerKind::Malformed:
                o.failure = Failure::Malformed;
                o.detail = std::to_string(payload.size()) + " bytes that are no answer to service "
                    + std::to_string(data[0]);
                break;
            case AnswerKind::Positive:
                break;
            }
            results[id] = std::move(o);
            deadline.erase(waiting);
        }
        for (const auto& d : deadline)
            results[d.first] = failed(Failure::NoAnswer, "no answer");
        return results;
    }
};

Link::Link(std::string fallbackFolder, std::string adapter)
    : d(std::make_unique<Impl>())
{
    d->fallback = std::move(fallbackFolder);
    d->adapter = std::move(adapter);
}

Link::~Link()
{
    close();
}

Outcome Link::open()
{
    if (d->deviceOpen)
        return {};
    if (!d->library.loaded()) {
        const auto found = j2534::locateLibrary(d->fallback);
        if (found.path.empty())
            return failed(Failure::NoLibrary, "the J2534 library is not registered (" + found.how + ")");
        if (!d->library.load(found.path))
            return failed(Failure::NoLibrary, d->library.errorString());
        Api& a = d->api;
        const auto bind = [&](auto& fn, const char* name) {
            fn = d->library.resolveFunction<std::remove_reference_t<decltype(fn)>>(name);
            return fn != nullptr;
        };
        if (!bind(a.Open, "PassThruOpen") || !bind(a.Close, "PassThruClose") || !bind(a.Connect, "PassThruConnect")
            || !bind(a.Disconnect, "PassThruDisconnect") || !bind(a.ReadMsgs, "PassThruReadMsgs")
            || !bind(a.WriteMsgs, "PassThruWriteMsgs") || !bind(a.StartMsgFilter, "PassThruStartMsgFilter")
            || !bind(a.GetLastError, "PassThruGetLastError") || !bind(a.Ioctl, "PassThruIoctl")) {
            const std::string error = d->library.errorString();
            d->library.unload();
            return failed(Failure::NoLibrary, error);
        }
    }
    std::string name = d->adapter;
    const long s = d->api.Open(name.empty() ? nullptr : &name[0], &d->device);
    if (s != STATUS_NOERROR)
        return d->fail(s, "open the adapter");
    d->deviceOpen = true;
    return {};
}

void Link::close()
{
    d->closeDevice();
}

bool Link::isOpen() const
{
    return d->deviceOpen;
}

Outcome Link::request(const EcuDefinition& ecu, const Bytes& data)
{
    Outcome o = open();
    if (!o.ok())
        return o;
    auto r = d->exchange(ecu.bus, {ecu}, {ecu.requestId}, data, kAnswerMs);
    return r[ecu.responseId];
}

std::map<std::uint32_t, Outcome> Link::requestMany(
    Bus bus, const std::vector<EcuDefinition>& ecus, const Bytes& data, unsigned waitMs)
{
    std::vector<EcuDefinition> onBus;
    std::vector<std::uint32_t> ids;
    for (const EcuDefinition& e : ecus)
        if (e.bus == bus) {
            onBus.push_back(e);
            ids.push_back(e.requestId);
        }
    if (onBus.empty())
        return {};
    Outcome o = open();
    if (!o.ok()) {
        std::map<std::uint32_t, Outcome> all;
        for (const EcuDefinition& e : onBus)
            all[e.responseId] = o;
        return all;
    }
    return d->exchange(bus, onBus, ids, data, waitMs);
}

std::map<std::uint32_t, Outcome> Link::functional(
    std::uint32_t functionalId, const std::vector<EcuDefinition>& ecus, const Bytes& data, unsigned waitMs)
{
    std::vector<EcuDefinition> obd;
    for (const EcuDefinition& e : ecus)
        if (e.obd && e.bus == Bus::Obd)
            obd.push_back(e);
    if (obd.empty())
        return {};
    Outcome o = open();
    if (!o.ok()) {
        std::map<std::uint32_t, Outcome> all;
        for (const EcuDefinition& e : obd)
            all[e.responseId] = o;
        return all;
    }
    return d->exchange(Bus::Obd, obd, {functionalId}, data, waitMs);
}

void Link::setWaitCallback(std::function<void(unsigned)> callback)
{
    d->waitCallback = std::move(callback);
}

void Link::setCancelFlag(const std::atomic<bool>* flag)
{
    d->cancel = flag;
}

} // namespace vehdiag
