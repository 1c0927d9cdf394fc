// The pictures of the device page's carousel: the list the main API server
// offers ("api/advertisements"), each picture fetched once into a cache
// folder, and the last good list kept there for the next start without a
// network. Blocking; run it on a worker. Qt Core only.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <string>

struct AdItem {
    QString imageFile; // the cached picture
    QUrl link;         // the page a click opens; empty when the server named none usable
};

class AdFeed {
public:
    // One GET: the HTTP status (0 on a transport failure) and the body.
    using Fetch = std::function<int(const std::string& url, std::size_t maxBytes, std::string& body)>;

    static constexpr int kMaxItems = 8;
    static constexpr std::size_t kMaxListBytes = 64 * 1024;
    static constexpr std::size_t kMaxPictureBytes = 2 * 1024 * 1024;

    // `apiBase` ends with "/" or not; `cacheDir` is created when needed.
    // Without `fetch` the feed uses CHvHttp (TLS checked, bounded times).
    AdFeed(QString apiBase, QString cacheDir, Fetch fetch = {});

    // Asks the server (langCode "ES" or "EN") and returns what to show: the
    // server's list with every picture that arrived, or, when the server
    // cannot be reached or answers nonsense, the list cached last time.
    QList<AdItem> refresh(const QString& langCode, const std::atomic<bool>* stop = nullptr);
    // The list cached last time (pictures that are still there).
    QList<AdItem> cached() const;

    // Only web pages may be opened from a picture: http or https with a host.
    static QUrl safeLink(const QString& text);

private:
    QString m_apiBase;
    QString m_cacheDir;
    Fetch m_fetch;
};
