#include "Emulator.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

#include <algorithm>

#include <json/reader.h>
#include <json/writer.h>

namespace vciemu {

namespace {

const char* kHelp
    = "OK commands: list | dump | plug N | unplug N | voltage N MV | state N 0|1|2 | bootloader N on|off"
      " | silent N on|off | reboot N | conntype N USB|RJ45|WIFI|ROUTE | serial N TEXT | remotekey N TEXT|-"
      " | remote N on|off | enet N on|off | flashms N MS | failwrite N on|off"
      " | version N system|application|can [TEXT] | aps N none|default | ap N add SSID PASSWORD|- [SIGNAL]"
      " | ap N remove SSID | mode N original|MAKE | maxrate N BITRATE | vehicle N WORDS... | vehicle N use NAME|PATH | "
      "quit"
      "   (N: number, list or all)";

bool parseOnOff(const QString& s, bool* on)
{
    if (s == QLatin1String("on") || s == QLatin1String("1") || s == QLatin1String("true")) {
        *on = true;
        return true;
    }
    if (s == QLatin1String("off") || s == QLatin1String("0") || s == QLatin1String("false")) {
        *on = false;
        return true;
    }
    return false;
}

} // namespace

Emulator::Emulator(QObject* parent)
    : QObject(parent)
{
}

Emulator::~Emulator()
{
    // Sessions end (posted to the scheduler) with their endpoints; the
    // vehicles go after them on the scheduler thread, then the clock stops.
    std::vector<std::shared_ptr<VehicleSlot>> vehicles;
    for (const auto& e : m_endpoints)
        if (e->vehicle())
            vehicles.push_back(e->vehicle());
    m_endpoints.clear();
    if (m_scheduler) {
        m_scheduler->call([&vehicles] {
            for (const auto& v : vehicles)
                v->reset();
        });
        m_scheduler->stop();
    }
}

QString Emulator::addressFor(const QString& base, int index)
{
    QHostAddress a(base);
    bool ok = false;
    const quint32 v = a.toIPv4Address(&ok);
    if (!ok)
        return QString();
    return QHostAddress(v + static_cast<quint32>(index - 1)).toString();
}

bool Emulator::parseSelection(const QString& text, int count, std::vector<int>* out)
{
    out->clear();
    const QString t = text.trimmed();
    if (t == QLatin1String("all")) {
        for (int i = 1; i <= count; ++i)
            out->push_back(i);
        return true;
    }
    if (t == QLatin1String("none"))
        return true;
    for (const QString& part : t.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = part.split(QLatin1Char('-'));
        bool ok1 = false;
        bool ok2 = true;
        const int from = range.value(0).trimmed().toInt(&ok1);
        const int to = range.size() == 2 ? range.value(1).trimmed().toInt(&ok2) : from;
        if (!ok1 || !ok2 || range.size() > 2 || from < 1 || to > count || from > to)
            return false;
        for (int i = from; i <= to; ++i)
            out->push_back(i);
    }
    return !out->empty();
}

AdapterEndpoint* Emulator::endpoint(int index) const
{
    if (index < 1 || index > count())
        return nullptr;
    return m_endpoints[static_cast<std::size_t>(index - 1)].get();
}

bool Emulator::start(const EmulatorOptions& options, QString* error)
{
    if (options.adapters < 1 || options.adapters > 1000) {
        *error = QStringLiteral("--adapters must be 1 to 1000");
        return false;
    }
    const QString last = addressFor(options.baseAddress, options.adapters);
    QHostAddress base(options.baseAddress);
    if (last.isEmpty() || !base.isLoopback() || !QHostAddress(last).isLoopback()) {
        *error = QStringLiteral("the adapters' addresses must be IPv4 loopback addresses (127.x.y.z)");
        return false;
    }
    std::vector<int> plugged;
    if (!parseSelection(options.plug, options.adapters, &plugged)) {
        *error = QStringLiteral("bad --plug selection: %1").arg(options.plug);
        return false;
    }
    m_passthruPort = options.passthruPort;
    if (m_passthruPort == 0) {
        // One free port for every adapter, found on the first one's address.
        QTcpServer probe;
        if (probe.listen(QHostAddress(options.baseAddress), 0))
            m_passthruPort = probe.serverPort();
        if (m_passthruPort == 0) {
            *error = QStringLiteral("no free pass-thru port on %1").arg(options.baseAddress);
            return false;
        }
    }
    m_scheduler = std::make_unique<vehicle::Scheduler>();
    m_scheduler->start();
    const std::string vehicleFile = options.vehicle.toStdString();
    // The vehicle file is checked once at start (as adapter 1's vehicle);
    // the others' vehicles are made when first needed.
    auto first = std::make_shared<VehicleSlot>(*m_scheduler, vehicleFile);
    std::string why;
    bool vehicleOk = true;
    m_scheduler->call([&] { vehicleOk = first->world(&why) != nullptr; });
    if (!vehicleOk) {
        *error = (options.vehicle.isEmpty() ? QStringLiteral("the default vehicle: ")
                                            : QStringLiteral("--vehicle %1: ").arg(options.vehicle))
            + QString::fromStdString(why);
        return false;
    }
    for (int i = 1; i <= options.adapters; ++i) {
        AdapterState s;
        s.index = i;
        s.ip = addressFor(options.baseAddress, i).toStdString();
        s.serial = EmulatedAdapter::defaultSerial(i);
        s.connType = EmulatedAdapter::defaultConnType(i);
        s.key = QStringLiteral("KX%1").arg(i, 4, 10, QLatin1Char('0')).toStdString();
        s.accessPoints = EmulatedAdapter::defaultAccessPoints();
        s.flashMs = options.flashMs;
        m_endpoints.push_back(std::make_unique<AdapterEndpoint>(
            std::move(s), options.port, options.rebootMs, options.uploadIdleMs, this));
        m_endpoints.back()->enablePassThru(
            i == 1 ? first : std::make_shared<VehicleSlot>(*m_scheduler, vehicleFile), m_passthruPort);
    }
    for (int i : plugged) {
        AdapterEndpoint* e = endpoint(i);
        if (!e->plug() || (!e->rebooting() && !e->passThru()->listening())) {
            *error = QStringLiteral("adapter %1: %2").arg(i).arg(e->lastError());
            return false;
        }
    }
    return true;
}

QString Emulator::execute(const QString& line)
{
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return QStringLiteral("ERR empty command");
    QString cmd = w[0].toLower();
    int arg = 1;
    // "set voltage 1 11000", "set state 1 2" and "stop answering 1" read like the plain forms.
    if (cmd == QLatin1String("set") && w.size() > 1) {
        cmd = w[1].toLower();
        arg = 2;
    } else if (cmd == QLatin1String("stop") && w.size() > 1 && w[1].toLower() == QLatin1String("answering")) {
        cmd = QStringLiteral("silent-on");
        arg = 2;
    }

    if (cmd == QLatin1String("help"))
        return QString::fromLatin1(kHelp);
    if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit")) {
        emit quitRequested();
        return QStringLiteral("OK bye");
    }
    if (cmd == QLatin1String("list")) {
        QStringList parts;
        for (const auto& e : m_endpoints) {
            const AdapterState& s = e->adapter().state();
            parts << QStringLiteral("%1 %2 %3 %4")
                         .arg(s.index)
                         .arg(QString::fromStdString(s.ip), QString::fromStdString(s.serial),
                             e->rebooting()                    ? QStringLiteral("rebooting")
                                 : e->silent() && e->plugged() ? QStringLiteral("silent")
                                 : e->plugged()                ? QStringLiteral("plugged")
                                                               : QStringLiteral("unplugged"));
        }
        return QStringLiteral("OK ") + parts.join(QStringLiteral("; "));
    }
    if (cmd == QLatin1String("dump")) {
        Json::Value all(Json::arrayValue);
        for (const auto& e : m_endpoints) {
            Json::Value d = e->adapter().dump();
            d["plugged"] = e->plugged();
            d["listening"] = e->listening();
            d["silent"] = e->silent();
            d["rebooting"] = e->rebooting();
            d["uploading"] = e->uploading();
            d["passthru"] = e->passThru() ? e->passThru()->dump() : Json::Value(Json::nullValue);
            d["vehicle"] = vehicleDump(e.get());
            all.append(d);
        }
        Json::Value root(Json::objectValue);
        root["adapters"] = all;
        Json::StreamWriterBuilder b;
        b["indentation"] = "";
        return QString::fromStdString(Json::writeString(b, root));
    }

    if (cmd == QLatin1String("vehicle"))
        return vehicleCommand(w, arg);

    static const QStringList kPerAdapter = {QStringLiteral("plug"), QStringLiteral("unplug"), QStringLiteral("reboot"),
        QStringLiteral("silent-on"), QStringLiteral("voltage"), QStringLiteral("state"), QStringLiteral("bootloader"),
        QStringLiteral("silent"), QStringLiteral("remote"), QStringLiteral("enet"), QStringLiteral("conntype"),
        QStringLiteral("serial"), QStringLiteral("remotekey"), QStringLiteral("flashms"), QStringLiteral("failwrite"),
        QStringLiteral("version"), QStringLiteral("aps"), QStringLiteral("ap"), QStringLiteral("mode"),
        QStringLiteral("maxrate")};
    if (!kPerAdapter.contains(cmd))
        return QStringLiteral("ERR unknown command: %1 (try help)").arg(w[0]);
    if (w.size() <= arg)
        return QStringLiteral("ERR missing adapter number");
    std::vector<int> targets;
    if (!parseSelection(w[arg], count(), &targets) || targets.empty())
        return QStringLiteral("ERR no such adapter: %1").arg(w[arg]);
    const QString value = w.size() > arg + 1 ? w[arg + 1] : QString();
    const bool hasValue = w.size() > arg + 1;

    if (cmd == QLatin1String("plug")) {
        for (int i : targets)
            if (!endpoint(i)->plug())
                return QStringLiteral("ERR adapter %1: %2").arg(i).arg(endpoint(i)->lastError());
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("unplug")) {
        for (int i : targets)
            endpoint(i)->unplug();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("reboot")) {
        for (int i : targets)
            endpoint(i)->reboot();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("silent-on")) {
        for (int i : targets)
            endpoint(i)->setSilent(true);
        return QStringLiteral("OK");
    }
    if (!hasValue)
        return QStringLiteral("ERR missing value");

    if (cmd == QLatin1String("maxrate")) {
        bool ok = false;
        const uint n = value.toUInt(&ok);
        if (!ok || n < 100000 || n > 1000000)
            return QStringLiteral("ERR the fastest rate is 100000..1000000 bit/s");
        for (int i : targets)
            endpoint(i)->adapter().state().maxCanBitrate = n;
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("voltage") || cmd == QLatin1String("state") || cmd == QLatin1String("flashms")) {
        bool ok = false;
        const uint n = value.toUInt(&ok);
        const uint max = cmd == QLatin1String("state") ? 255 : cmd == QLatin1String("voltage") ? 100000 : 600000;
        if (!ok || n > max)
            return QStringLiteral("ERR bad number: %1").arg(value);
        for (int i : targets) {
            AdapterState& s = endpoint(i)->adapter().state();
            if (cmd == QLatin1String("voltage"))
                s.vbatt = n;
            else if (cmd == QLatin1String("state"))
                s.status = n;
            else
                s.flashMs = static_cast<int>(n);
        }
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("version")) {
        // "version N KIND" reads a version, "version N KIND TEXT" sets it.
        mt7628::ImageKind kind = mt7628::ImageKind::System;
        if (!mt7628::parseImageKind(value.toStdString(), kind))
            return QStringLiteral("ERR expected system, application or can");
        const QString text = w.mid(arg + 2).join(QLatin1Char(' '));
        if (text.toUtf8().size() > 64)
            return QStringLiteral("ERR version too long");
        QStringList versions;
        for (int i : targets) {
            std::string& field = endpoint(i)->adapter().versionOf(kind);
            if (!text.isEmpty())
                field = text.toStdString();
            versions << QString::fromStdString(field);
        }
        return text.isEmpty() ? QStringLiteral("OK ") + versions.join(QStringLiteral("; ")) : QStringLiteral("OK");
    }
    if (cmd == QLatin1String("bootloader") || cmd == QLatin1String("silent") || cmd == QLatin1String("remote")
        || cmd == QLatin1String("enet") || cmd == QLatin1String("failwrite")) {
        bool on = false;
        if (!parseOnOff(value.toLower(), &on))
            return QStringLiteral("ERR expected on or off: %1").arg(value);
        for (int i : targets) {
            AdapterEndpoint* e = endpoint(i);
            if (cmd == QLatin1String("bootloader"))
                e->setBootloader(on);
            else if (cmd == QLatin1String("silent"))
                e->setSilent(on);
            else if (cmd == QLatin1String("remote"))
                e->adapter().state().remoteSupported = on;
            else if (cmd == QLatin1String("failwrite"))
                e->adapter().state().failNextWrite = on;
            else
                e->adapter().state().enet = on;
        }
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("aps")) {
        if (value != QLatin1String("none") && value != QLatin1String("default"))
            return QStringLiteral("ERR expected none or default");
        for (int i : targets) {
            AdapterState& s = endpoint(i)->adapter().state();
            s.accessPoints
                = value == QLatin1String("none") ? std::vector<AccessPoint>() : EmulatedAdapter::defaultAccessPoints();
        }
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("ap")) {
        // "ap N add SSID PASSWORD|- [SIGNAL]" (- : an open network), "ap N remove SSID".
        const QString ssid = w.value(arg + 2);
        const bool add = value == QLatin1String("add");
        if ((!add && value != QLatin1String("remove")) || ssid.isEmpty() || (add && w.size() < arg + 4))
            return QStringLiteral("ERR expected ap N add SSID PASSWORD|- [SIGNAL] or ap N remove SSID");
        if (ssid.toUtf8().size() > 32)
            return QStringLiteral("ERR ssid longer than 32 bytes");
        AccessPoint ap;
        if (add) {
            const QString password = w[arg + 3];
            bool ok = true;
            ap.signal = w.size() > arg + 4 ? w[arg + 4].toInt(&ok) : 50;
            if (!ok || ap.signal < 0 || ap.signal > 100)
                return QStringLiteral("ERR signal must be 0 to 100");
            if (password != QLatin1String("-") && (password.toUtf8().size() < 8 || password.toUtf8().size() > 63))
                return QStringLiteral("ERR password must have 8 to 63 bytes");
            ap.ssid = ssid.toStdString();
            ap.security = password == QLatin1String("-") ? "NONE" : "WPA2PSK/AES";
            ap.password = password == QLatin1String("-") ? std::string() : password.toStdString();
            ap.mode = "11b/g/n";
            ap.bssid = "02:00:00:00:00:"
                + QString::number(qHash(ssid) % 256, 16).rightJustified(2, QLatin1Char('0')).toStdString();
            ap.channel = 1 + int(qHash(ssid) % 11);
            ap.rssi = -100 + ap.signal / 2;
        }
        for (int i : targets) {
            AdapterState& s = endpoint(i)->adapter().state();
            auto& list = s.accessPoints;
            list.erase(std::remove_if(list.begin(), list.end(),
                           [&](const AccessPoint& a) { return a.ssid == ssid.toStdString(); }),
                list.end());
            if (add)
                list.push_back(ap);
            else if (s.joinedSsid == ssid.toStdString()) {
                // The router went away: the module loses its link to it.
                s.joined = false;
                s.joinedSsid.clear();
                s.clientIp.clear();
            }
        }
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("conntype")) {
        static const QStringList kinds
            = {QStringLiteral("USB"), QStringLiteral("RJ45"), QStringLiteral("WIFI"), QStringLiteral("ROUTE")};
        if (!kinds.contains(value))
            return QStringLiteral("ERR expected USB, RJ45, WIFI or ROUTE");
        for (int i : targets)
            endpoint(i)->adapter().state().connType = value.toStdString();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("serial")) {
        if (value.toUtf8().size() > 64)
            return QStringLiteral("ERR serial too long");
        for (int i : targets)
            endpoint(i)->adapter().state().serial = value.toStdString();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("mode")) {
        if (!mt7628::isModeName(value.toStdString()))
            return QStringLiteral("ERR expected original or a make name (BMW, J2534, ...)");
        for (int i : targets)
            endpoint(i)->adapter().state().mode = value.toStdString();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("remotekey")) {
        const std::string key = value == QLatin1String("-") ? std::string() : value.toStdString();
        for (int i : targets)
            endpoint(i)->adapter().state().remoteKey = key;
        return QStringLiteral("OK");
    }
    return QStringLiteral("ERR unknown command: %1 (try help)").arg(w[0]);
}

} // namespace vciemu

namespace vciemu {

Json::Value Emulator::vehicleDump(AdapterEndpoint* e)
{
    std::shared_ptr<VehicleSlot> slot = e->vehicle();
    if (!slot || !m_scheduler)
        return Json::Value(Json::nullValue);
    std::string json;
    m_scheduler->call([&json, slot] {
        if (vehicle::VehicleWorld* w = slot->existing())
            json = w->dumpJson();
    });
    if (json.empty())
        return Json::Value(Json::nullValue); // not made yet: nothing has needed it
    Json::Value v;
    Json::CharReaderBuilder b;
    std::unique_ptr<Json::CharReader> r(b.newCharReader());
    std::string errors;
    if (!r->parse(json.data(), json.data() + json.size(), &v, &errors))
        return Json::Value(json);
    return v;
}

void Emulator::execute(const QString& line, QObject* context, std::function<void(const QString&)> done)
{
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::vector<std::string> words;
    for (int i = 2; i < w.size(); ++i)
        words.push_back(w[i].toStdString());
    if (w.size() < 3 || w[0].toLower() != QLatin1String("vehicle") || !vehicle::VehicleWorld::answersLater(words)) {
        done(execute(line));
        return;
    }
    std::vector<int> targets;
    if (!parseSelection(w[1], count(), &targets) || targets.size() != 1) {
        done(QStringLiteral("ERR tester ask goes to one adapter: %1").arg(w[1]));
        return;
    }
    std::shared_ptr<VehicleSlot> slot = endpoint(targets.front())->vehicle();
    QPointer<QObject> guard(context);
    // The answer comes on the scheduler thread; it goes back to the main
    // thread, where the guard is read.
    auto answer = [guard, done](const std::string& text) {
        const QString answerLine = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done, answerLine] {
                if (guard)
                    done(answerLine);
            },
            Qt::QueuedConnection);
    };
    m_scheduler->post([slot, words, answer] {
        std::string why;
        vehicle::VehicleWorld* world = slot->world(&why);
        if (!world)
            answer("ERR " + why);
        else
            world->control(words, answer);
    });
}

// "vehicle N WORDS..." goes to the vehicle's own commands; "vehicle N use
// NAME|PATH" replaces the vehicle while no pass-thru session holds the adapter.
QString Emulator::vehicleCommand(const QStringList& w, int arg)
{
    if (w.size() <= arg)
        return QStringLiteral("ERR missing adapter number");
    std::vector<int> targets;
    if (!parseSelection(w[arg], count(), &targets) || targets.empty())
        return QStringLiteral("ERR no such adapter: %1").arg(w[arg]);
    std::vector<std::string> words;
    for (int i = arg + 1; i < w.size(); ++i)
        words.push_back(w[i].toStdString());
    if (words.empty())
        return QStringLiteral("ERR missing vehicle command");
    QStringList answers;
    bool allOk = true;
    for (int i : targets) {
        AdapterEndpoint* e = endpoint(i);
        std::shared_ptr<VehicleSlot> slot = e->vehicle();
        std::string answer;
        if (words[0] == "use") {
            if (words.size() != 2)
                answer = "ERR expected vehicle N use NAME|PATH";
            else if (e->passThru()->sessionOpen())
                answer
                    = "ERR a pass-thru session holds adapter " + std::to_string(i) + "; load the vehicle after it ends";
            else
                m_scheduler->call([&] {
                    std::string why;
                    answer = slot->load(words[1], &why) ? std::string("OK") : "ERR " + why;
                });
        } else {
            m_scheduler->call([&] {
                std::string why;
                vehicle::VehicleWorld* world = slot->world(&why);
                answer = world ? world->control(words) : "ERR " + why;
            });
        }
        if (answer.rfind("OK", 0) != 0)
            allOk = false;
        answers << QString::fromStdString(answer);
    }
    if (answers.size() == 1)
        return answers.first();
    QStringList numbered;
    for (std::size_t k = 0; k < targets.size(); ++k)
        numbered << QStringLiteral("%1: %2").arg(targets[k]).arg(answers[int(k)]);
    return (allOk ? QStringLiteral("OK ") : QStringLiteral("ERR ")) + numbered.join(QStringLiteral("; "));
}

} // namespace vciemu
