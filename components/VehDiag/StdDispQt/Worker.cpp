#include "Worker.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace vehdiag;

#define VD_TR(text) QCoreApplication::translate("VehDiag", text)

namespace {

QString hex(const Bytes& b)
{
    QStringList parts;
    for (std::uint8_t v : b)
        parts << QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

QString fromStd(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

QString nrcText(std::uint8_t nrc)
{
    switch (nrc) {
    case 0x10:
        return VD_TR("general reject");
    case 0x11:
        return VD_TR("service not supported");
    case 0x12:
        return VD_TR("sub-function not supported");
    case 0x13:
        return VD_TR("incorrect message length or format");
    case 0x14:
        return VD_TR("response too long");
    case 0x21:
        return VD_TR("busy, repeat the request");
    case 0x22:
        return VD_TR("conditions not correct");
    case 0x24:
        return VD_TR("request sequence error");
    case 0x31:
        return VD_TR("request out of range");
    case 0x33:
        return VD_TR("security access denied");
    case 0x35:
        return VD_TR("invalid key");
    case 0x36:
        return VD_TR("exceeded number of attempts");
    case 0x37:
        return VD_TR("required time delay not expired");
    case 0x72:
        return VD_TR("general programming failure");
    case 0x7E:
        return VD_TR("sub-function not supported in active session");
    case 0x7F:
        return VD_TR("service not supported in active session");
    default:
        return VD_TR("negative response");
    }
}

QString dtcStatusText(std::uint8_t status)
{
    QStringList words;
    if (status & kConfirmed)
        words << VD_TR("confirmed");
    if (status & kPending)
        words << VD_TR("pending");
    if (status & kTestFailed)
        words << VD_TR("failed now");
    if (status & kWarningIndicator)
        words << VD_TR("warning lamp");
    if (words.isEmpty())
        words << VD_TR("stored");
    return QStringLiteral("%1 (0x%2)")
        .arg(words.join(QStringLiteral(", ")), QStringLiteral("%1").arg(status, 2, 16, QLatin1Char('0')).toUpper());
}

Worker::Worker(QString fallbackFolder, QString adapter, QString language)
    : m_fallback(std::move(fallbackFolder))
    , m_adapter(std::move(adapter))
    , m_language(std::move(language))
    , m_idle(this)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleCloseMs);
    connect(&m_idle, &QTimer::timeout, this, &Worker::closeLink);
}

Worker::~Worker() = default;

void Worker::setMake(const QString& make)
{
    const auto definition = Registry::instance().make(make.toStdString());
    m_make = definition ? std::make_unique<MakeDefinition>(*definition) : nullptr;
}

void Worker::closeLink()
{
    m_idle.stop();
    if (m_link)
        m_link->close();
}

bool Worker::ready(QString* message)
{
    m_idle.stop();
    if (!m_make) {
        *message = VD_TR("The make's diagnosis library has not started yet.");
        return false;
    }
    if (!m_link) {
        m_link = std::make_unique<Link>(m_fallback.toStdString(), m_adapter.toStdString());
        m_link->setCancelFlag(&m_cancel);
    }
    const Outcome o = m_link->open();
    if (!o.ok()) {
        *message = failureText(o, QString());
        return false;
    }
    return true;
}

void Worker::done()
{
    if (m_link && m_link->isOpen())
        m_idle.start();
}

QString Worker::ecuTitle(const EcuDefinition& e) const
{
    return QCoreApplication::translate("VehDiag", e.title.c_str());
}

QString Worker::failureText(const Outcome& o, const QString& ecu) const
{
    switch (o.failure) {
    case Failure::None:
        return {};
    case Failure::NoLibrary:
        return VD_TR("No J2534 library is registered. Install the J2534 driver on the drivers page.");
    case Failure::AdapterAbsent:
        return VD_TR("The adapter is not connected.");
    case Failure::AdapterInUse:
        return VD_TR("The adapter is in use by another program. Close it and try again.");
    case Failure::AdapterLost:
        return VD_TR("The connection to the adapter was lost.");
    case Failure::NoAnswer:
        return VD_TR("%1 does not answer.").arg(ecu);
    case Failure::Negative:
        return VD_TR("%1 refused: %2 (0x%3).")
            .arg(ecu, nrcText(o.nrc), QStringLiteral("%1").arg(o.nrc, 2, 16, QLatin1Char('0')).toUpper());
    case Failure::SessionLost:
        return VD_TR("%1 left the diagnostic session. Try again.").arg(ecu);
    case Failure::Malformed:
        return VD_TR("%1 sent an answer that cannot be read.").arg(ecu);
    case Failure::Failed:
        break;
    }
    return VD_TR("The adapter reported an error: %1").arg(fromStd(o.detail));
}

Outcome Worker::checked(const EcuDefinition& e, const Bytes& data)
{
    return m_link->request(e, data);
}

void Worker::identify()
{
    QString message;
    if (!ready(&message)) {
        emit identified(QString(), {}, message);
        return;
    }
    // The VIN: OBD-II mode 09 to everyone, else ReadDataByIdentifier F190.
    QString vin;
    const auto obd = m_link->functional(m_make->functionalId, m_make->ecus, {0x09, 0x02});
    if (adapterFailure(obd, &message))
        return finishIdentify(message);
    for (const auto& r : obd)
        if (r.second.ok())
            if (const auto v = obdVin(r.second.answer))
                vin = fromStd(*v);
    QVector<EcuRow> rows;
    std::map<std::uint32_t, Outcome> part, software, count;
    for (Bus bus : {Bus::Obd, Bus::Body}) {
        const struct {
            Bytes request;
            std::map<std::uint32_t, Outcome>* into;
        } rounds[] = {{{0x22, 0xF1, 0x87}, &part}, {{0x22, 0xF1, 0x88}, &software}, {{0x19, 0x01, 0xFF}, &count}};
        for (const auto& round : rounds) {
            const auto answers = m_link->requestMany(bus, m_make->ecus, round.request);
            if (adapterFailure(answers, &message))
                return finishIdentify(message);
            round.into->insert(answers.begin(), answers.end());
        }
    }
    bool anyone = false;
    for (const EcuDefinition& e : m_make->ecus) {
        EcuRow row;
        row.title = ecuTitle(e);
        row.bus = e.bus == Bus::Obd ? VD_TR("pins 6/14") : VD_TR("pins 3/11");
        const Outcome& p = part[e.responseId];
        const Outcome& s = software[e.responseId];
        const Outcome& c = count[e.responseId];
        row.found = answered(p) || answered(s) || answered(c);
        if (p.ok())
            if (const auto rec = didRecord(p.answer, 0xF187))
                row.partNumber = fromStd(recordText(*rec));
        if (s.ok())
            if (const auto rec = didRecord(s.answer, 0xF188))
                row.softwareNumber = fromStd(recordText(*rec));
        if (c.ok())
            if (const auto n = dtcCount(c.answer))
                row.dtcCount = static_cast<int>(*n);
        if (!p.ok())
            row.problem = failureText(p, row.title);
        anyone = anyone || row.found;
        if (vin.isEmpty() && e.obd && row.found) {
            const Outcome v = checked(e, {0x22, 0xF1, 0x90});
            if (v.ok())
                if (const auto rec = didRecord(v.answer, 0xF190))
                    vin = fromStd(recordText(*rec));
        }
        rows.push_back(row);
    }
    if (!anyone)
        message = VD_TR(
            "No control unit answers. Check that the ignition is on and the adapter is plugged into the vehicle.");
    emit identified(vin, rows, message);
    done();
}

void Worker::finishIdentify(const QString& message)
{
    emit identified(QString(), {}, message);
    done();
}

bool Worker::answered(const Outcome& o)
{
    return o.failure == Failure::None || o.failure == Failure::Negative || o.failure == Failure::SessionLost
        || o.failure == Failure::Malformed;
}

bool Worker::adapterFailure(const std::map<std::uint32_t, Outcome>& outcomes, QString* message) const
{
    for (const auto& o : outcomes) {
        switch (o.second.failure) {
        case Failure::NoLibrary:
        case Failure::AdapterAbsent:
        case Failure::AdapterInUse:
        case Failure::AdapterLost:
        case Failure::Failed:
            *message = failureText(o.second, QString());
            return true;
        default:
            break;
        }
    }
    return false;
}

void Worker::readDtcs()
{
    QString message;
    if (!ready(&message)) {
        emit dtcsRead({}, message);
        return;
    }
    QVector<DtcRow> rows;
    QStringList problems;
    for (Bus bus : {Bus::Obd, Bus::Body}) {
        auto answers = m_link->requestMany(bus, m_make->ecus, {0x19, 0x02, 0xFF});
        if (adapterFailure(answers, &message)) {
            emit dtcsRead({}, message);
            done();
            return;
        }
        for (const EcuDefinition& e : m_make->ecus) {
            if (e.bus != bus)
                continue;
            const Outcome& o = answers[e.responseId];
            const QString title = ecuTitle(e);
            std::optional<std::vector<Dtc>> list;
            if (o.ok())
                list = dtcList(o.answer);
            if (!list && e.obd) {
                // An OBD-II unit without UDS: its confirmed codes (mode 03).
                for (const auto& r : m_link->functional(m_make->functionalId, {e}, {0x03}))
                    if (r.second.ok())
                        if (const auto codes = obdCodes(r.second.answer)) {
                            list.emplace();
                            for (const auto& c : *codes)
                                list->push_back({c, 0, kConfirmed});
                        }
            }
            if (!list) {
                problems << (o.ok() ? VD_TR("%1 sent an answer that cannot be read.").arg(title)
                                    : failureText(o, title));
                continue;
            }
            for (const Dtc& d : *list) {
                DtcRow row;
                row.ecu = title;
                row.code = fromStd(d.code);
                if (d.failureType)
                    row.code += QStringLiteral("-%1").arg(d.failureType, 2, 16, QLatin1Char('0')).toUpper();
                row.status = dtcStatusText(d.status);
                row.text = fromStd(m_make->dtcTexts.text(d.code, m_language.toStdString()));
                if (row.text.isEmpty())
                    row.text = VD_TR("(no description)");
                rows.push_back(row);
            }
        }
    }
    emit dtcsRead(rows, problems.join(QLatin1Char('\n')));
    done();
}

void Worker::clearDtcs()
{
    QString message;
    if (!ready(&message)) {
        emit cleared(false, message);
        return;
    }
    QStringList problems;
    // OBD-II mode 04 first (emission codes), then every unit by UDS.
    const auto obd = m_link->functional(m_make->functionalId, m_make->ecus, {0x04});
    if (adapterFailure(obd, &message)) {
        emit cleared(false, message);
        done();
        return;
    }
    for (Bus bus : {Bus::Obd, Bus::Body}) {
        auto answers = m_link->requestMany(bus, m_make->ecus, {0x14, 0xFF, 0xFF, 0xFF});
        if (adapterFailure(answers, &message)) {
            emit cleared(false, message);
            done();
            return;
        }
        for (const EcuDefinition& e : m_make->ecus)
            if (e.bus == bus && !answers[e.responseId].ok())
                problems << failureText(answers[e.responseId], ecuTitle(e));
    }
    emit cleared(problems.isEmpty(),
        problems.isEmpty() ? VD_TR("The fault codes were cleared.") : problems.join(QLatin1Char('\n')));
    done();
}

void Worker::readLive()
{
    QString message;
    if (!ready(&message)) {
        emit liveRead({}, message);
        return;
    }
    QVector<double> values(m_make->live.size(), std::numeric_limits<double>::quiet_NaN());
    // Mode 01 carries up to 6 PIDs per request.
    for (std::size_t first = 0; first < m_make->live.size(); first += 6) {
        Bytes request{0x01};
        for (std::size_t i = first; i < m_make->live.size() && i < first + 6; ++i)
            request.push_back(m_make->live[i].pid);
        const auto answers = m_link->functional(m_make->functionalId, m_make->ecus, request, Link::kAnswerMs);
        if (adapterFailure(answers, &message)) {
            emit liveRead({}, message);
            done();
            return;
        }
        bool got = false;
        for (const auto& r : answers) {
            if (!r.second.ok()) {
                if (message.isEmpty() && r.second.failure != Failure::NoAnswer)
                    message = failureText(r.second, VD_TR("Engine"));
                continue;
            }
            const auto v = obdValues(r.second.answer);
            if (!v)
                continue;
            got = true;
            for (std::size_t i = first; i < m_make->live.size() && i < first + 6; ++i) {
                const auto it = v->find(m_make->live[i].pid);
                if (it != v->end())
                    values[static_cast<int>(i)] = it->second;
            }
        }
        if (!got && message.isEmpty())
            message = VD_TR("%1 does not answer.").arg(VD_TR("Engine"));
    }
    emit liveRead(values, message);
    done();
}

void Worker::runRoutine()
{
    QString message;
    if (!ready(&message)) {
        emit routineDone(false, message);
        return;
    }
    if (m_make->routines.empty()) {
        emit routineDone(false, VD_TR("This make has no routine."));
        done();
        return;
    }
    const RoutineDefinition routine = m_make->routines.front();
    const EcuDefinition* ecu = nullptr;
    for (const EcuDefinition& e : m_make->ecus)
        if (e.name == routine.ecu)
            ecu = &e;
    if (!ecu) {
        emit routineDone(false, VD_TR("This make has no routine."));
        done();
        return;
    }
    const QString title = ecuTitle(*ecu);
    const auto fail = [&](const Outcome& o) {
        emit routineDone(false, failureText(o, title));
        done();
    };
    emit routineProgress(0);
    Outcome o = checked(*ecu, {0x10, 0x03});
    if (!o.ok())
        return fail(o);
    const std::uint8_t level = routine.securityLevel;
    o = checked(*ecu, {0x27, level});
    if (!o.ok())
        return fail(o);
    const Bytes seed(o.answer.data.begin() + (o.answer.data.empty() ? 0 : 1), o.answer.data.end());
    const bool unlocked = !seed.empty() && std::all_of(seed.begin(), seed.end(), [](std::uint8_t b) { return b == 0; });
    if (!unlocked) {
        const Bytes key = m_make->key ? m_make->key(ecu->name, seed) : Bytes();
        if (key.empty()) {
            emit routineDone(false, VD_TR("%1 refused: %2 (0x%3).").arg(title, nrcText(0x33)).arg(0x33, 2, 16));
            done();
            return;
        }
        Bytes send(2 + key.size());
        send[0] = 0x27;
        send[1] = static_cast<std::uint8_t>(level + 1);
        std::copy(key.begin(), key.end(), send.begin() + 2);
        o = checked(*ecu, send);
        if (!o.ok())
            return fail(o);
    }
    // TesterPresent: the unit is still there and its session timer starts
    // again, so the routine has the whole session time to run in.
    o = checked(*ecu, {0x3E, 0x00});
    if (!o.ok())
        return fail(o);
    emit routineProgress(5);
    const unsigned expected = std::max(1u, routine.expectedMs);
    m_link->setWaitCallback(
        [&](unsigned elapsed) { emit routineProgress(static_cast<int>(std::min(95u, 5 + elapsed * 90 / expected))); });
    const std::uint8_t hi = static_cast<std::uint8_t>(routine.id >> 8), lo = static_cast<std::uint8_t>(routine.id);
    o = checked(*ecu, {0x31, 0x01, hi, lo});
    m_link->setWaitCallback(nullptr);
    if (!o.ok())
        return fail(o);
    o = checked(*ecu, {0x31, 0x03, hi, lo});
    if (!o.ok())
        return fail(o);
    const Bytes result(o.answer.data.size() > 3 ? o.answer.data.begin() + 3 : o.answer.data.end(), o.answer.data.end());
    checked(*ecu, {0x10, 0x01});
    emit routineProgress(100);
    emit routineDone(true, VD_TR("The routine finished. Result: %1").arg(result.empty() ? VD_TR("none") : hex(result)));
    done();
}
