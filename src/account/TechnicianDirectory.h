// The remote technician directory without widgets: the two requests to the
// main API server with the user's bearer token, their parsing, the choice of
// service address, the search and the description's rich text.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace account {

struct ServiceConfig {
    QString serviceAddress;
    int port = 0;
    QString description;
};

struct TechnicianRecord {
    QString name;
    QString phone;
    QString login;
    QString address;
    int orderSize = 0;
    int appraise = 0;
    int authentication = 0;
    int recommended = 0;
    QString brief;
    QStringList labels;
};

// What a card shows.
struct TechnicianCard {
    QString name;
    QString brief;
    QString address;
    QString phone;
    bool operator==(const TechnicianCard& other) const
    {
        return name == other.name && brief == other.brief && address == other.address && phone == other.phone;
    }
};

// The service address asked for when no configuration (or, outside phone
// mode, no seventh one) is known.
inline constexpr const char* kDefaultServiceAddress = "10.20.0.11";
inline constexpr int kDirectoryPageSize = 60;

// base + path with exactly one "/" between them.
QString joinUrl(const QString& base, const QString& path);

// A JSON array root answered with 200; anything else gives an empty list.
// Entries that are not objects are skipped; missing members are empty or 0.
QVector<ServiceConfig> parseServiceConfigs(const QByteArray& body);
QVector<TechnicianRecord> parseTechnicians(const QByteArray& body);

// Phone mode: the first configuration; otherwise the seventh; the default
// address when that configuration does not exist.
QString chooseServiceAddress(const QVector<ServiceConfig>& configs, bool phoneMode);

// Cards whose phone, name or address contain `text` (case-sensitive), in
// list order; an empty text keeps all.
QVector<TechnicianCard> filterCards(const QVector<TechnicianCard>& cards, const QString& text);

// The pop-up's rich text: the brief escaped, so the server's markup shows as text.
QString descriptionRichText(const QString& brief);

struct HttpAnswer {
    int status = 0; // 0: no answer
    QByteArray body;
};
// One GET with the given header lines (separated by "\n").
using HttpGet = std::function<HttpAnswer(const QString& url, const QString& header)>;
// The GET through CHvHttp; transport failures answer status 0.
HttpGet chvHttpGet();

// One fetch of the directory (a worker's): configurations, then technicians.
class DirectoryFetcher {
public:
    DirectoryFetcher(QString base, QString token, HttpGet get = chvHttpGet());

    // Loads the configurations unless some are loaded already.
    void loadConfigs();
    // The technicians of the chosen service address; fills cards().
    QVector<TechnicianRecord> fetchTechnicians(int page, int size, bool phoneMode);
    QVector<TechnicianCard> filter(const QString& text) const { return filterCards(m_cards, text); }

    const QVector<ServiceConfig>& configs() const { return m_configs; }
    const QVector<TechnicianCard>& cards() const { return m_cards; }
    // False after a request was answered 401.
    bool tokenAccepted() const { return m_tokenAccepted; }
    QString lastServiceAddress() const { return m_lastAddress; }

private:
    HttpAnswer get(const QString& path, const QString& header);

    QString m_base;
    QString m_token;
    HttpGet m_get;
    bool m_tokenAccepted = false;
    QVector<ServiceConfig> m_configs;
    QVector<TechnicianCard> m_cards;
    QString m_lastAddress;
};

} // namespace account
