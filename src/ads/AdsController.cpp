#include "ads/AdsController.h"

#include "kit/CarouselImageWindow.h"
#include "kit/GlobalServerUrl.h"
#include "kit/Pictures.h"
#include "kit/PostCall.h"
#include "kit/SettingsStore.h"

#include <QDesktopServices>
#include <QLayout>
#include <QPixmap>
#include <QStandardPaths>
#include <QTimer>

namespace {

const char* const kBundledPicture = ":/image/AD_Default.png";
constexpr int kDevicePageIndex = Pages::Device;
constexpr int kCarouselHeight = 180;

AdFeed defaultFeed()
{
    return AdFeed(
        globalServerUrl(), QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/ads"));
}

} // namespace

AdsController::AdsController(std::function<AdFeed()> feed)
    : m_feed(feed ? std::move(feed) : std::function<AdFeed()>(defaultFeed))
{
}

AdsController::~AdsController()
{
    stop();
}

void AdsController::attach(SubsystemHost& host)
{
    QWidget* page = host.pageHost(kDevicePageIndex);
    m_carousel = new CarouselImageWindow(page);
    m_carousel->setFixedHeight(kCarouselHeight);
    // By suffix: Qt's format detection would load every image plugin while the window comes up.
    m_carousel->setImages({loadPicture(QString::fromLatin1(kBundledPicture))});
    // A picture opens its own page; the maker's product page when it names none.
    m_fallbackPage = m_carousel->productPage();
    m_carousel->setProductPage(QUrl());
    if (page && page->layout())
        page->layout()->addWidget(m_carousel);
    connect(m_carousel, &CarouselImageWindow::imageClicked, this, &AdsController::open);
    QTimer::singleShot(kFirstRefreshDelayMs, this, &AdsController::refresh);
}

void AdsController::stop()
{
    m_stopping = true; // no further picture is fetched
    m_workers.stopAndJoin();
}

void AdsController::refresh()
{
    if (m_busy.exchange(true))
        return;
    const QString lang
        = SettingsStore::instance().language() == QLatin1String("en") ? QStringLiteral("EN") : QStringLiteral("ES");
    m_workers.start("ads", [this, lang] {
        AdFeed feed = m_feed();
        const QList<AdItem> items = feed.refresh(lang, &m_stopping);
        appkit::postCall(this, [this, items] { show(items); });
    });
}

void AdsController::show(const QList<AdItem>& items)
{
    m_busy = false;
    QList<QPixmap> pictures;
    QList<AdItem> shown;
    for (const AdItem& item : items) {
        const QPixmap picture = loadPicture(item.imageFile);
        if (picture.isNull())
            continue; // a file that does not decode is not shown
        pictures << picture;
        shown << item;
    }
    if (!pictures.isEmpty() && m_carousel) {
        m_items = shown;
        m_carousel->setImages(pictures);
    }
    emit refreshed(pictures.size());
}

void AdsController::open(int index)
{
    const QUrl link = index >= 0 && index < m_items.size() ? m_items.at(index).link : QUrl();
    if (link.isValid() || m_fallbackPage.isValid())
        QDesktopServices::openUrl(link.isValid() ? link : m_fallbackPage);
}
