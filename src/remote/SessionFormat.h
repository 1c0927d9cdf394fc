// Texts of the session page (page 7): role, device number, start time,
// duration, delays with their colours, byte counts.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace remote {

enum class Role { Server, Client };

// "Remote server" when only a listener exists or when there is no P2P object
// and no relay registration; "Remote client" with a P2P client, or with a
// registration and no P2P object.
Role sessionRole(bool hasListener, bool hasClient, bool hasRegistration);

// "---" for an empty serial.
QString deviceNumberText(const QString& serial);
// "hh:mm:ss" of a local time.
QString clockText(const QDateTime& time);
// "hh:mm:ss" of a duration in seconds (hours may pass 99); negative is 0.
QString durationText(qint64 seconds);

// A delay's text and colour: "--" when unknown (negative); else
// "B:<n>ms" for end B and "<n>ms" for end C.
QString delayText(std::int32_t ms, bool endB);
// "#33CC00" below 31 ms, "#FFCC00" below 51 ms, else "#CC3300"; empty when unknown.
QString delayColour(std::int32_t ms);
// The label style for a delay of that colour.
QString delayStyle(std::int32_t ms);

// "<n>B" below 1024, "<n>KB" below 1048576, else "<n>MB" (whole units).
QString byteText(std::uint64_t bytes);

// The session's partner text with the frames a device-control bridge
// dropped split off: "PARTNER dropped HERE/THERE" (the partner may have given
// way to the counts) gives PARTNER and "HERE/THERE"; any other text is all
// partner, with no counts.
struct PeerDrops {
    QString partner;
    QString drops;
};
PeerDrops splitDrops(const QString& peerText);

} // namespace remote
