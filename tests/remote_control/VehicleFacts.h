// What the default simulated vehicle holds and how a scripted tester's
// answer reads, shared by the device-control tests that ask the car through
// the bridge.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace {

struct VehicleFacts {
    QByteArray vin;
    QList<QByteArray> engineDtcs;
};

inline VehicleFacts defaultVehicle()
{
    QFile f(QStringLiteral(BW_TEST_BIN_DIR "/vehicles/default.json"));
    VehicleFacts facts;
    if (!f.open(QIODevice::ReadOnly))
        return facts;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    facts.vin = o.value(QStringLiteral("vin")).toString().toLatin1();
    for (const QJsonValue e : o.value(QStringLiteral("ecus")).toArray()) {
        if (e.toObject().value(QStringLiteral("name")).toString() != QLatin1String("engine"))
            continue;
        for (const QJsonValue d : e.toObject().value(QStringLiteral("dtcs")).toArray()) {
            // "P0301": the letter in the top two bits (P C B U), then 14 bits; failure type 00.
            const QString code = d.toObject().value(QStringLiteral("code")).toString();
            const int letter = QStringLiteral("PCBU").indexOf(code.left(1));
            const int rest = code.mid(1, 4).toInt(nullptr, 16);
            const int status = d.toObject().value(QStringLiteral("status")).toString().toInt(nullptr, 16);
            QByteArray record;
            record.append(char(letter << 6 | rest >> 8)).append(char(rest & 0xFF)).append(char(0)).append(char(status));
            facts.engineDtcs << record.toHex().toUpper();
        }
    }
    std::sort(facts.engineDtcs.begin(), facts.engineDtcs.end());
    return facts;
}

// The response bytes of a tester's "OK PINS ID HEX" answer; empty otherwise.
inline QByteArray answerBytes(const QString& answer)
{
    const QStringList w = answer.split(QLatin1Char(' '));
    if (w.size() != 4 || w[0] != QLatin1String("OK"))
        return {};
    return QByteArray::fromHex(w[3].toLatin1());
}

} // namespace
