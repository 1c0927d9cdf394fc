#include "app/Kestrix.h"
#include "ui_Kestrix.h"

#include "ads/AdsController.h"
#include "app/LanguageTheme.h"
#include "app/Logging.h"
#include "app/PageRouting.h"
#include "app/SingleInstance.h"
#include "app/StatusThread.h"
#include "app/SysTrayIconWidget.h"
#include "kit/Accessibility.h"
#include "kit/AppConstants.h"
#include "kit/InternetCheck.h"
#include "kit/LazyPages.h"
#include "kit/Loading.h"
#include "kit/LogCleanup.h"
#include "kit/SettingsStore.h"
#include "kit/TMessageBox.h"

#include "kit/GlobalServerUrl.h"
#include "account/AccountController.h"
#include "device/AppShared.h"
#include "device/DeviceController.h"
#include "device/DevicePage.h"
#include "device/LinkDrivers.h"
#include "drivers/DriversController.h"
#include "maintenance/FirmwareController.h"
#include "maintenance/RouterController.h"
#include "remote/RemoteController.h"
#include "settings/SettingsController.h"
#include "update/ProgramVersion.h"
#include "update/UpdateController.h"

#include "BuildConfig.h"
#include "HttpsServer.h"
#include "MT7628Config.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace {

constexpr int kDriveTipDelayMs = 2000;

QWidget* appendEmptyPage(QStackedWidget* stack, const char* objectName)
{
    auto* page = new QWidget(stack);
    page->setObjectName(QLatin1String(objectName));
    stack->addWidget(page);
    return page;
}

} // namespace

Kestrix::Kestrix(QPoint& startPos, unsigned char* showRequest, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::KestrixClass)
    , initialPos(startPos)
    , showFlag(showRequest)
{
    qRegisterMetaType<SignalsUpgradeInfo_struct>("SignalsUpgradeInfo_struct");

    // The background service owns the adapter link; start it when it is not
    // running. Development runs and tests that bring their own service, or
    // none, set BRINDLEWICK_NO_SERVICE_START.
    const LinkEnvironment link = LinkEnvironment::system();
    if (qEnvironmentVariableIsEmpty("BRINDLEWICK_NO_SERVICE_START"))
        ensureServiceRunning(link);

    buildFrame();
    trayIcon = new SysTrayIconWidget([this] { showFromTray(); }, this);
    httpsServer = std::make_unique<HttpsServer>();
    connect(ui->Btn_Min, &QPushButton::clicked, this, &Kestrix::ClickButton_Min);
    connect(ui->Btn_Close, &QPushButton::clicked, this, &Kestrix::ClickButton_Close);
    buildNavigation();
    makeSelfConnections();
    mt7628Config = std::make_unique<MT7628Config>();
    setGlobalServerUrl(QString::fromStdString(httpsServer->GetGloableUrl()));

    messageBox = new TMessageBox(this);
    messageBox->hide();
    attachSubsystems();
    placeSettingsBackButtons();
    // The back buttons of other pages that lead to the settings page, also
    // on pages built after start-up.
    settingsSubsystem->adoptBackButtons(this);
    connect(ui->Tab_Stack, &QStackedWidget::currentChanged, this, [this](int index) {
        settingsSubsystem->adoptBackButtons(this);
        Accessibility::nameFieldsByPlaceholder(ui->Tab_Stack->widget(index));
    });
    applyLanguage(SettingsStore::instance().language() == QLatin1String(AppConstants::kLanguageEnglish)
            ? QString::fromLatin1(AppConstants::kLanguageEnglish)
            : QString::fromLatin1(AppConstants::kLanguageSpanish));

    startStatusThread();
    initialised = true;
    ui->Btn_Device->setChecked(true);
    connect(AppShared::instance(), &AppShared::signal, this,
        [this](SharedSignal code, const QVariant& value) { onSharedSignal(code, value); });
    showPage(PageDevice);

    workers.start("log-cleanup", [] { LogCleanup().run(); });
    connect(this, &Kestrix::Sign_QTimerONOFF, this, &Kestrix::Slot_QTimerCtl);
    connect(this, &Kestrix::Sign_hideToShow, this, [this] {
        showNormal();
        show();
    });
    runLinkHousekeeping(link);
    // Once, when the window has settled: a make's own software without its driver.
    QTimer::singleShot(kDriveTipDelayMs, this, &Kestrix::Sign_DriveInstallTip);
}

void Kestrix::buildFrame()
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/Brindlewick.ico")));
    setWindowFlag(Qt::FramelessWindowHint);
    setFixedSize(902, 652);

    // Busy overlay: hidden until a long operation shows it, over the page area.
    loading = new Loading(this);
    loading->tipsLabel()->setText(tr("Executing"));
    loading->setWindowFlags(loading->windowFlags() | Qt::FramelessWindowHint);
    loading->setMovieFile(QStringLiteral(":/image/loading.gif"));
    loading->hide();
    loading->move(QPoint(430, 245));

    noInternet = !internetReachable();

    ui->label_Logo->setCursor(Qt::PointingHandCursor);
    ui->label_Logo->installEventFilter(this);

    ui->Btn_Setting->setGeometry(-3, 153, 167, 51);
    ui->lbl_upgradeTip->setGeometry(120, 162, 21, 21);
    ui->lbl_upgradeTip->hide();
    ui->Btn_Kestrix->hide();
    ui->Btn_RepairData->hide();
    ui->Btn_RepairData->setEnabled(false);

    lazyPages = new LazyPages(ui->Tab_Stack);
    connect(ui->Tab_Stack, &QStackedWidget::currentChanged, this, [this](int index) { visiblePage.store(index); });
    // The settings and drivers pages follow the form's pages 0 to 20.
    appendEmptyPage(ui->Tab_Stack, "SettingsView");
    appendEmptyPage(ui->Tab_Stack, "DriverView");
}

// Every subsystem the window carries, in the order they come up.
void Kestrix::attachSubsystems()
{
    auto deviceLink = std::make_unique<DeviceController>(*mt7628Config);
    device = deviceLink.get();
    device->setInternetProbe([] { return HttpsServer::InternetOk(); });
    connect(device, &DeviceController::SignalSetDisableRemoteStatus, this, &Kestrix::SignalSetDisableRemoteStatus);
    subsystems.push_back(std::move(deviceLink));

    auto firmwareUpdate = std::make_unique<FirmwareController>(*httpsServer);
    firmware = firmwareUpdate.get();
    connect(firmware, &FirmwareController::SignalsUpgradeInfo, this, &Kestrix::SignalsUpgradeInfo);
    connect(firmware, &FirmwareController::sig_enableOrDisableDrivers, this, &Kestrix::sig_enableOrDisableDrivers);
    connect(device, &DeviceController::firmwareUpdateRequested, this, &Kestrix::Firmware_Init);
    subsystems.push_back(std::move(firmwareUpdate));

    auto routerSetup = std::make_unique<RouterController>(*mt7628Config);
    router = routerSetup.get();
    connect(device, &DeviceController::routerSetupRequested, this, &Kestrix::RountInit);
    subsystems.push_back(std::move(routerSetup));

    auto vehicleDrivers = std::make_unique<DriversController>();
    driverSubsystem = vehicleDrivers.get();
    // The drivers page's buttons are off while the firmware update runs.
    connect(this, &Kestrix::sig_enableOrDisableDrivers, driverSubsystem, &DriversController::setOperationsEnabled);
    connect(this, &Kestrix::Sign_DriveInstallTip, this, &Kestrix::Slot_DriveOfTip);
    subsystems.push_back(std::move(vehicleDrivers));

    auto settings = std::make_unique<SettingsController>(*mt7628Config);
    settingsSubsystem = settings.get();
    subsystems.push_back(std::move(settings));

    auto remoteDiagnosis
        = std::make_unique<RemoteController>(RemoteController::systemEnvironment(*device, *mt7628Config));
    remoteSubsystem = remoteDiagnosis.get();
    connect(device, &DeviceController::SignalSetDisableRemoteStatus, remoteSubsystem,
        &RemoteController::SetDisableRemoteStatus);
    connect(remoteSubsystem, &RemoteController::SignalImmobileInterface, this, &Kestrix::SignalImmobileInterface);
    // The busy overlay while a relay attempt or a P2P connect runs.
    connect(remoteSubsystem, &RemoteController::attemptRunning, this, [this](bool running) {
        if (running) {
            loading->show();
            loading->raise();
        } else {
            loading->hide();
        }
    });
    subsystems.push_back(std::move(remoteDiagnosis));

    // The carousel goes under the device page, which the device subsystem has just placed.
    auto ads = std::make_unique<AdsController>();
    connect(this, &Kestrix::SignalsUpdateAD, ads.get(), &AdsController::refresh);
    subsystems.push_back(std::move(ads));

    auto userAccount = std::make_unique<AccountController>(httpsAccountService(*httpsServer));
    accountSubsystem = userAccount.get();
    subsystems.push_back(std::move(userAccount));

    auto selfUpdate = std::make_unique<UpdateController>();
    updateSubsystem = selfUpdate.get();
    connect(updateSubsystem, &UpdateController::SignalUpdateStyle, this, &Kestrix::SignalUpdateStyle);
    connect(updateSubsystem, &UpdateController::SignalUpdateDescription, this, &Kestrix::SignalUpdateDescription);
    subsystems.push_back(std::move(selfUpdate));

    for (const std::unique_ptr<Subsystem>& subsystem : subsystems)
        subsystem->attach(*this);
    connect(updateSubsystem->updateButton(), &QPushButton::clicked, this, &Kestrix::ClickButton_Software_Update);
}

void Kestrix::ClickButton_Software_Update()
{
    updateSubsystem->ClickButton_Software_Update();
}

QWidget* Kestrix::pageHost(int index)
{
    return ui->Tab_Stack->widget(index);
}

void Kestrix::buildOnFirstShow(int index, std::function<void(QWidget* host)> build)
{
    lazyPages->add(index, std::move(build));
}

void Kestrix::ensurePage(int index)
{
    lazyPages->ensure(index);
}

void Kestrix::onSharedSignal(int code, const QVariant& value)
{
    if (code == ShowToast)
        SlotsTMsg(value.toString(), 2000);
    // Code 2 (the settings page's account row) is the account subsystem's.
}

void Kestrix::ClickButton_vciReboot()
{
    device->ClickButton_vciReboot();
}

void Kestrix::ClickButton_requestBuzz()
{
    device->ClickButton_requestBuzz();
}

void Kestrix::Release_VCI_occupation()
{
    device->Release_VCI_occupation();
}

void Kestrix::SlotsVciAdd()
{
    device->SlotsVciAdd();
}

void Kestrix::SlotsClickItem()
{
    device->SlotsClickItem();
}

void Kestrix::Lan_Disconn(int itemNum)
{
    device->Lan_Disconn(itemNum);
}

void Kestrix::Slot_SelectStatus(QListWidgetItem* item)
{
    device->Slot_SelectStatus(item);
}

void Kestrix::InitMoreVci()
{
    device->InitMoreVci();
}

void Kestrix::Firmware_Init()
{
    firmware->Firmware_Init();
}

void Kestrix::ClickButton_upAll()
{
    firmware->ClickButton_upAll();
}

void Kestrix::SlotsUpgradeInfo(SignalsUpgradeInfo_struct info)
{
    firmware->SlotsUpgradeInfo(std::move(info));
}

void Kestrix::Slot_DriveOfTip()
{
    driverSubsystem->Slot_DriveOfTip();
}

void Kestrix::SlotsDiagTimeout()
{
    if (passThruCheck != 1)
        return;
    passThruCheck = 2;
    if (driverSubsystem->checkPassThruDriver())
        showPage(PageDiag);
}

void Kestrix::RountInit()
{
    router->RountInit();
}

void Kestrix::SlotsUpdateDeviceInfo()
{
    router->SlotsUpdateDeviceInfo();
}

void Kestrix::Btn_Modify_Router_clicked()
{
    router->Btn_Modify_Router_clicked();
}

void Kestrix::Btn_Route_Restor_clicked()
{
    router->Btn_Route_Restor_clicked();
}

void Kestrix::Btn_Save_Router_clicked()
{
    router->Btn_Save_Router_clicked();
}

void Kestrix::on_CreateWidgetItem_Time()
{
    router->on_CreateWidgetItem_Time();
}

void Kestrix::on_SendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2)
{
    router->on_SendRouteCmd(cmd, itemindex, std::move(Str1), std::move(Str2));
}

void Kestrix::RouteResultTip(QString Text, int Timer)
{
    router->RouteResultTip(std::move(Text), Timer);
}

Kestrix::~Kestrix()
{
    if (statusThread)
        statusThread->stop();
    for (auto it = subsystems.rbegin(); it != subsystems.rend(); ++it)
        (*it)->stop();
    workers.stopAndJoin();
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void Kestrix::buildNavigation()
{
    navigationGroup = new QButtonGroup(this);
    navigationGroup->setExclusive(true);
    for (QPushButton* button :
        {ui->Btn_Device, ui->Btn_Drivers, ui->Btn_Remote, ui->Btn_Kestrix, ui->Btn_Setting, ui->Btn_RepairData}) {
        button->setCheckable(true);
        navigationGroup->addButton(button);
    }

    connect(ui->Btn_Device, &QPushButton::clicked, this, [this] { showPage(PageDevice); });
    connect(ui->Btn_Drivers, &QPushButton::clicked, this, [this] {
        showPage(PageDrivers);
        emit AppShared::instance()->signal(DriversPageShown, QString()); // the page reloads
    });
    // The session page while a session runs, else the remote page or the
    // P2P page, whichever the user left last.
    connect(ui->Btn_Remote, &QPushButton::clicked, this,
        [this] { showPage(remoteSubsystem ? remoteSubsystem->navigationPage() : int(PageRemote)); });
    // The settings page re-reads the machine each time it is opened.
    connect(ui->Btn_Setting, &QPushButton::clicked, this, [this] {
        if (settingsSubsystem)
            settingsSubsystem->showSettings();
        else
            showPage(PageSettings);
    });
}

// The navigation and title buttons show pictures only: screen readers and
// keyboard users get their names and what they do from here.
void Kestrix::describeFrameControls()
{
    Accessibility::describe(ui->Btn_Device, tr("Device"), tr("Shows the connected adapter"));
    Accessibility::describe(ui->Btn_Drivers, tr("Drivers"), tr("Installs and switches the vehicle drivers"));
    Accessibility::describe(ui->Btn_Remote, tr("Remote"), tr("Lends the adapter to a technician or reaches another"));
    Accessibility::describe(ui->Btn_Kestrix, tr("Diagnosis"), tr("Starts the diagnosis of a vehicle make"));
    Accessibility::describe(ui->Btn_Setting, tr("Settings"), tr("Logs, start-up, updates, language and account"));
    Accessibility::describe(ui->Btn_RepairData, tr("Repair data"), tr("Repair information of the vehicle makes"));
    Accessibility::describe(ui->Btn_Min, tr("Minimise"), tr("Minimises the window"));
    Accessibility::describe(ui->Btn_Close, tr("Close"), tr("Hides the window; the program keeps running in the tray"));
    Accessibility::describe(ui->label_Logo, tr("Brindlewick web site"), tr("Opens the maker's web site"));
    for (QPushButton* back : findChildren<QPushButton*>(QRegularExpression(QStringLiteral("^Btn_Return_(2|8|11|12)$"))))
        back->setText(QStringLiteral("\u2039 ") + tr("Back to settings"));
    Accessibility::nameFieldsByPlaceholder(ui->Tab_Stack);
}

// Pages 2, 8, 11 and 12 lead back to the settings page by a link at their
// top, as the update page (9) does; the settings subsystem connects them by
// name. A page built by a subsystem keeps its own controls below the link.
void Kestrix::placeSettingsBackButtons()
{
    for (int index : {2, 8, 9, 11, 12}) {
        QWidget* host = ui->Tab_Stack->widget(index);
        const QString name = QStringLiteral("Btn_Return_%1").arg(index);
        if (!host)
            continue;
        if (QPushButton* own = host->findChild<QPushButton*>(name)) {
            Accessibility::keepFocusFrame(own); // its own style sheet would hide the theme's
            continue;
        }
        auto* row = new QWidget(host);
        row->setObjectName(QStringLiteral("widget_BackRow_%1").arg(index));
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(24, 16, 24, 0);
        auto* back = new QPushButton(row);
        back->setObjectName(name);
        back->setCursor(Qt::PointingHandCursor);
        back->setFlat(true);
        rowLayout->addWidget(back);
        rowLayout->addStretch(1);
        auto* layout = qobject_cast<QBoxLayout*>(host->layout());
        if (layout) {
            layout->insertWidget(0, row);
        } else if (!host->layout()) {
            layout = new QVBoxLayout(host);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(row);
            layout->addStretch(1);
        }
    }
}

void Kestrix::makeSelfConnections()
{
    connect(this, &Kestrix::SignalsUpdateThread, this, &Kestrix::SlotsUpdateThread);
    connect(this, qOverload<QString, int>(&Kestrix::SignalsTMsg), this, qOverload<QString, int>(&Kestrix::SlotsTMsg));
    connect(this, qOverload<QString>(&Kestrix::SignalsTMsg), this, qOverload<QString>(&Kestrix::SlotsTMsg));
    connect(this, &Kestrix::SignalsUpdateDeviceInfo, this, &Kestrix::SlotsUpdateDeviceInfo);
    connect(this, qOverload<int, int, QString, QString>(&Kestrix::signalSendRouteCmd), this, &Kestrix::on_SendRouteCmd);
}

void Kestrix::showPage(int index)
{
    if (ui->Tab_Stack->currentIndex() != index)
        ui->Tab_Stack->setCurrentIndex(index);
    pageRequest = index;
}

void Kestrix::showFromTray()
{
    move(initialPos);
    showNormal();
    show();
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

    const int marker = readLanguageMarker();
    if (marker != 1 && marker != -2)
        noInternet = !internetReachable();

    translator = LanguageTheme::replaceTranslator(translator, LanguageTheme::translationResource(language));
    ui->retranslateUi(this);
    describeFrameControls();
    if (loading)
        loading->tipsLabel()->setText(tr("Executing"));

    ui->label_Versions->setText(tr("Version:") + QLatin1Char(' ') + QLatin1String(update::programVersion()));
    refreshInternetLabel(!noInternet);
}

void Kestrix::refreshInternetLabel(bool online)
{
    const QString text = online ? tr("Online") : tr("none");
    const QString style
        = online ? QStringLiteral("color: rgb(52, 199, 89);") : QStringLiteral("color: rgb(255, 0, 0);");
    if (ui->label_Internet->text() != text) {
        ui->label_Internet->setText(text);
        QPalette palette = ui->label_Internet->palette();
        palette.setColor(QPalette::WindowText, online ? QColor(52, 199, 89) : QColor(255, 0, 0));
        ui->label_Internet->setPalette(palette);
    }
    ui->label_Internet->setStyleSheet(style);
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

void Kestrix::wakeStatusThread()
{
    if (statusThread)
        statusThread->wake();
}

void Kestrix::startStatusThread()
{
    statusThread = std::make_unique<StatusThread>([this] { statusPass(); });
    statusThread->start();
}

// One pass of the status thread (not the GUI thread): decide whether the GUI
// must repaint and route, and tell it through a queued signal.
void Kestrix::statusPass()
{
    const int page = visiblePage.load();
    bool changed = page != lastSeenPage || SingleInstance::showRequested(showFlag);
    lastSeenPage = page;
    for (const std::unique_ptr<Subsystem>& subsystem : subsystems)
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
    for (const std::unique_ptr<Subsystem>& subsystem : subsystems)
        subsystem->repaint(current);
    refreshInternetLabel(internetReachable());

    const int request = pageRequest.load();
    if (pageRequestMovesStack(request))
        showPage(request);
}

bool Kestrix::eventFilter(QObject* watched, QEvent* event)
{
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
