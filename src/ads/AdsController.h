// The advertising carousel under the device page: starts with the bundled
// picture, asks the server for the current pictures on a worker (after
// start-up and on each SlotsUpdateAD), and opens an ad's web page on a click.
#pragma once

#include "ads/AdFeed.h"
#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>

class CarouselImageWindow;

class AdsController : public QObject, public Subsystem {
    Q_OBJECT
public:
    // `feed` builds the feed on the worker (default: the main API server and
    // the user's cache folder).
    explicit AdsController(std::function<AdFeed()> feed = {});
    ~AdsController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    CarouselImageWindow* carousel() const { return m_carousel; }
    const QList<AdItem>& items() const { return m_items; }

    static constexpr int kFirstRefreshDelayMs = 1500;

public slots:
    // Fetches the pictures again (queued to a worker; one at a time).
    void refresh();

signals:
    void refreshed(int pictures);

private:
    void show(const QList<AdItem>& items);
    void open(int index);

    std::function<AdFeed()> m_feed;
    CarouselImageWindow* m_carousel = nullptr;
    QList<AdItem> m_items;
    QUrl m_fallbackPage;
    WorkerGroup m_workers;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stopping{false};
};
