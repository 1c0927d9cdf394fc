#include "app/Kestrix.h"
#include "ui_Kestrix.h"

#include "app/FrameChrome.h"
#include "app/LanguageTheme.h"
#include "app/PageRouting.h"
#include "app/SingleInstance.h"
#include "app/StartupTrace.h"
#include "app/StatusThread.h"
#include "app/SubsystemWiring.h"
#include "app/SysTrayIconWidget.h"
#include "kit/Accessibility.h"
#include "kit/AppConstants.h"
#include "kit/InternetCheck.h"
#include "kit/LazyPages.h"
#include "kit/Loading.h"
#include "kit/LogCleanup.h"
#include "kit/PlacePage.h"
#include "kit/SettingsStore.h"
#include "kit/TMessageBox.h"
#include "update/ProgramVersion.h"

#include "BuildConfig.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

Kestrix::Kestrix(QPoint& startPos, unsigned char* showRequest, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::KestrixClass)
    , initialPos(startPos)
    , showFlag(showRequest)
{
    StartupTrace::mark("window: construction begins");
    ui->setupUi(this);
    StartupTrace::mark("window: form set up");
    stack = ui->Tab_Stack;
    setWindowIcon(QIcon(QStringLiteral(":/Brindlewick.ico")));
    setWindowFlag(Qt::FramelessWindowHint);
    setFixedSize(902, 652);

    loading = FrameChrome::makeBusyOverlay(this);
    StartupTrace::mark("window: busy overlay");
    noInternet = !internetReachable();
    StartupTrace::mark("window: internet check");

    FrameChrome::setUp(*ui, this); // the appended pages included
    ui->label_Logo->installEventFilter(this);

    lazyPages = new LazyPages(ui->Tab_Stack);
    connect(ui->Tab_Stack, &QStackedWidget::currentChanged, this, [this](int index) { visiblePage.store(index); });
    trayIcon = new SysTrayIconWidget(
        [this] {
            move(initialPos);
            showNormal();
            show();
        },
        this);
    connect(ui->Btn_Min, &QPushButton::clicked, this, &Kestrix::ClickButton_Min);
    connect(ui->Btn_Close, &QPushButton::clicked, this, &Kestrix::ClickButton_Close);
    connect(this, &Kestrix::SignalsUpdateThread, this, &Kestrix::SlotsUpdateThread);
    connect(this, qOverload<QString, int>(&Kestrix::SignalsTMsg), this, qOverload<QString, int>(&Kestrix::SlotsTMsg));
    connect(this, qOverload<QString>(&Kestrix::SignalsTMsg), this, qOverload<QString>(&Kestrix::SlotsTMsg));

    StartupTrace::mark("window: tray icon");
    messageBox = new TMessageBox(this);
    messageBox->hide();
    StartupTrace::mark("window: toast");
    subsystems = wireSubsystems(*this);
    StartupTrace::mark("window: subsystems wired");
    // What the frame adds to a page (its link back to the settings page), now
    // for the pages already there, later for those built on first show.
    for (int index = 0; index < Pages::Count; ++index)
        if (lazyPages->built(index))
            finishPage(index);
    connect(lazyPages, &LazyPages::pageBuilt, this, &Kestrix::finishPage);
    connect(ui->Tab_Stack, &QStackedWidget::currentChanged, this,
        [this](int index) { Accessibility::nameFieldsByPlaceholder(ui->Tab_Stack->widget(index)); });
    applyLanguage(SettingsStore::instance().language() == QLatin1String(AppConstants::kLanguageEnglish)
            ? QString::fromLatin1(AppConstants::kLanguageEnglish)
            : QString::fromLatin1(AppConstants::kLanguageSpanish));
    StartupTrace::mark("window: language applied");

    statusThread = std::make_unique<StatusThread>([this] { statusPass(); });
    statusThread->start();
    initialised = true;
    ui->Btn_Device->setChecked(true);
    showPage(Pages::Device);
    StartupTrace::mark("window: status thread started");

    connect(this, &Kestrix::Sign_QTimerONOFF, this, &Kestrix::Slot_QTimerCtl);
    // The first page needs none of the rest (disk clean-up, the link's
    // housekeeping with its scripts and installers, the start-up mode byte):
    // it runs, in this order, right after the window's first paint, or at
    // the first turn of the event loop when the window is not shown (a start
    // in the tray). A shown window that is never painted gets it later.
    installEventFilter(this);
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            startAfterShown();
    });
    QTimer::singleShot(kStartAfterShownLatestMs, this, &Kestrix::startAfterShown);
}

void Kestrix::startAfterShown()
{
    if (startedAfterShown)
        return;
    startedAfterShown = true;
    removeEventFilter(this);
    StartupTrace::mark("window: steps after show begin");
    workers.start("log-cleanup", [] { LogCleanup().run(); });
    for (const std::function<void()>& step : subsystems->whenWindowReady)
        step();
    StartupTrace::mark("window: steps after show run");
}

const std::vector<std::unique_ptr<Subsystem>>& Kestrix::attached() const
{
    return subsystems->list;
}

void Kestrix::setBusy(bool busy)
{
    FrameChrome::setBusy(loading, busy);
}

Kestrix::~Kestrix()
{
    if (statusThread)
        statusThread->stop();
    for (auto it = subsystems->list.rbegin(); it != subsystems->list.rend(); ++it)
        (*it)->stop();
    workers.stopAndJoin();
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

// The frame's texts in the current language, the back links included.
void Kestrix::describeFrameControls()
{
    FrameChrome::describe(*ui);
    for (QPushButton* back : backLinks)
        back->setText(QStringLiteral("\u2039 ") + tr("Back to settings"));
    Accessibility::nameFieldsByPlaceholder(ui->Tab_Stack);
}

// The pages whose table row returns to the settings page get a link at their
// top, "Btn_Return_<index>", unless the page brings its own; the settings
// subsystem connects them by name. A page built by a subsystem keeps its own
// controls below the link.
void Kestrix::finishPage(int index)
{
    QWidget* host = ui->Tab_Stack->widget(index);
    if (!host || index < 0 || index >= Pages::Count || Pages::kTable[index].returnPage != Pages::Settings)
        return;
    const QString name = QStringLiteral("Btn_Return_%1").arg(index);
    if (QPushButton* own = host->findChild<QPushButton*>(name)) {
        Accessibility::keepFocusFrame(own); // its own style sheet would hide the theme's
        return;
    }
    QPushButton* back = placeBackLink(host, name, QStringLiteral("widget_BackRow_%1").arg(index));
    back->setText(QStringLiteral("\u2039 ") + tr("Back to settings"));
    backLinks.push_back(back);
}

void Kestrix::showPage(int index)
{
    if (ui->Tab_Stack->currentIndex() != index)
        ui->Tab_Stack->setCurrentIndex(index);
    pageRequest = index;
}

void Kestrix::ClickButton_Min()
{
    showMinimized();
}

void Kestrix::ClickButton_Close()
{
    // Without a tray there would be no way back to a hidden window but a second
    // start, so the window only minimises then.
    if (SysTrayIconWidget::available())
        hide();
    else
        showMinimized();
}

void Kestrix::ClickButton_SwitchEnglish()
{
    applyLanguage(QString::fromLatin1(AppConstants::kLanguageEnglish));
}

void Kestrix::ClickButton_SwitchSpanish()
{
    applyLanguage(QString::fromLatin1(AppConstants::kLanguageSpanish));
}

void Kestrix::applyLanguage(const QString& language)
{
    const bool english = language == QLatin1String(AppConstants::kLanguageEnglish);
    trayIcon->setActionTexts(english ? QStringLiteral("Display") : QStringLiteral("Pantalla"),
        english ? QStringLiteral("Exit") : QStringLiteral("Salida"));

    LanguageTheme::applyStyleSheet(LanguageTheme::styleSheetResource(language));
    FrameChrome::showNavigationPictures(*ui, language);

    const int marker = readLanguageMarker();
    if (marker != 1 && marker != -2)
        noInternet = !internetReachable();

    translator = LanguageTheme::replaceTranslator(translator, LanguageTheme::translationResource(language));
    ui->retranslateUi(this);
    describeFrameControls();
    loading->tipsLabel()->setText(tr("Executing"));

    ui->label_Versions->setText(tr("Version:") + QLatin1Char(' ') + QLatin1String(update::programVersion()));
    LanguageTheme::showInternetState(ui->label_Internet, !noInternet);
}

void Kestrix::Slot_QTimerCtl(QTimer* timer, QString status)
{
    if (!timer)
        return;
    if (status.contains(QLatin1Char('N')))
        timer->start();
    else
        timer->stop();
}

void Kestrix::SlotsTMsg(QString text, int ms)
{
    messageBox->showCentred(text, ms, geometry());
}

void Kestrix::SlotsTMsg(QString text)
{
    SlotsTMsg(text, 1200);
}

void Kestrix::wakeStatusPass()
{
    if (statusThread)
        statusThread->wake();
}

// One pass of the status thread (not the GUI thread): decide whether the GUI
// must repaint and route, and tell it through a queued signal.
void Kestrix::statusPass()
{
    const int page = visiblePage.load();
    bool changed = page != lastSeenPage || SingleInstance::showRequested(showFlag);
    lastSeenPage = page;
    for (const std::unique_ptr<Subsystem>& subsystem : attached())
        changed = subsystem->statusPass(changed);
    if (changed)
        emit SignalsUpdateThread();
}

void Kestrix::SlotsUpdateThread()
{
    if (SingleInstance::showRequested(showFlag)) {
        SingleInstance::clearShowRequest(showFlag);
        move(initialPos);
        show();
    }

    const int current = ui->Tab_Stack->currentIndex();
    for (const std::unique_ptr<Subsystem>& subsystem : attached())
        subsystem->repaint(current);
    LanguageTheme::showInternetState(ui->label_Internet, internetReachable());

    const int request = pageRequest.load();
    if (pageRequestMovesStack(request))
        showPage(request);
}

bool Kestrix::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::Paint && !startedAfterShown)
        QTimer::singleShot(0, this, &Kestrix::startAfterShown); // once this paint is done
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui->label_Logo)
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(BuildConfig::kMakerWebsite)));
    }
    return QObject::eventFilter(watched, event);
}

void Kestrix::mousePressEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton) {
        dragging = true;
        dragOffset = event->globalPos() - pos();
    }
    QWidget::mousePressEvent(event);
}

void Kestrix::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging && event->buttons() != Qt::NoButton && event->pos().y() < 130)
        move(event->globalPos() - dragOffset);
    QWidget::mouseMoveEvent(event);
}

void Kestrix::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}
