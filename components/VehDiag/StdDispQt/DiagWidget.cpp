#include "DiagWidget.h"

#include "Plot.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

#define VD_TR(text) QCoreApplication::translate("VehDiag", text)

namespace {

enum Page { kIdent, kDtc, kLive, kRoutine };

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QTableWidget* table(const QStringList& headers, const char* name, QWidget* parent)
{
    auto* t = new QTableWidget(0, headers.size(), parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->setVisible(false);
    // The last column (texts) takes the rest of the width; hover shows a cut text whole.
    t->horizontalHeader()->setSectionResizeMode(headers.size() - 1, QHeaderView::Stretch);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        t->setItem(row, c, item);
    }
}

// Every column but the last (which takes the rest) as wide as its contents.
void fitColumns(QTableWidget* t)
{
    for (int c = 0; c + 1 < t->columnCount(); ++c)
        t->resizeColumnToContents(c);
}

// Decimals shown of a live value: whole rpm and km/h, volts to 10 mV.
int decimals(std::uint8_t pid)
{
    switch (pid) {
    case 0x0C:
    case 0x0D:
        return 0;
    case 0x42:
        return 2;
    default:
        return 1;
    }
}

// The adapter the component opens: the one the service selected, unless
// BW_VEHDIAG_ADAPTER names another (development and tests).
QString adapterName()
{
    return qEnvironmentVariable("BW_VEHDIAG_ADAPTER");
}

} // namespace

DiagWidget::DiagWidget(const QString& vehDiagFolder, const QString& language, QWidget* parent)
    : QWidget(parent)
    , m_language(language)
{
    qRegisterMetaType<EcuRow>();
    qRegisterMetaType<DtcRow>();
    qRegisterMetaType<QVector<EcuRow>>();
    qRegisterMetaType<QVector<DtcRow>>();
    qRegisterMetaType<QVector<double>>();
    setObjectName(QStringLiteral("VehDiagRoot"));

    // The program's folder (VehDiag's parent) is where an unregistered J2534
    // library would lie.
    QDir root(vehDiagFolder);
    root.cdUp();
    m_worker = new Worker(QDir::toNativeSeparators(root.absolutePath()), adapterName(), language);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &Worker::identified, this, &DiagWidget::onIdentified);
    connect(m_worker, &Worker::dtcsRead, this, &DiagWidget::onDtcsRead);
    connect(m_worker, &Worker::cleared, this, &DiagWidget::onCleared);
    connect(m_worker, &Worker::liveRead, this, &DiagWidget::onLiveRead);
    connect(m_worker, &Worker::routineDone, this, &DiagWidget::onRoutineDone);
    connect(m_worker, &Worker::routineProgress, this, [this](int percent) { m_routineBar->setValue(percent); });
    m_thread.setObjectName(QStringLiteral("VehDiagBus"));
    m_thread.start();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("Lab_DiagTitle"));
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    m_title->setFont(big);
    layout->addWidget(m_title);

    auto* nav = new QHBoxLayout;
    const struct {
        const char* text;
        const char* name;
        int page;
    } pages[] = {{QT_TRANSLATE_NOOP("VehDiag", "Identification"), "Btn_DiagIdent", kIdent},
        {QT_TRANSLATE_NOOP("VehDiag", "Fault codes"), "Btn_DiagDtc", kDtc},
        {QT_TRANSLATE_NOOP("VehDiag", "Live data"), "Btn_DiagLive", kLive},
        {QT_TRANSLATE_NOOP("VehDiag", "Routine"), "Btn_DiagRoutine", kRoutine}};
    for (const auto& p : pages) {
        auto* b = button(VD_TR(p.text), p.name, this);
        b->setCheckable(true);
        const int index = p.page;
        connect(b, &QPushButton::clicked, this, [this, index] { showPage(index); });
        nav->addWidget(b);
        m_nav << b;
    }
    nav->addStretch();
    layout->addLayout(nav);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("Lab_DiagMessage"));
    m_message->setWordWrap(true);
    layout->addWidget(m_message);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("Stack_VehDiag"));
    m_stack->addWidget(buildIdentPage());
    m_stack->addWidget(buildDtcPage());
    m_stack->addWidget(buildLivePage());
    m_stack->addWidget(buildRoutinePage());
    layout->addWidget(m_stack, 1);

    m_liveTimer = new QTimer(this);
    m_liveTimer->setInterval(kLiveIntervalMs);
    connect(m_liveTimer, &QTimer::timeout, this, &DiagWidget::liveTick);

    // The make's Diag library registers from its own thread: pass it on to
    // the GUI thread, and only while this widget lives.
    QPointer<DiagWidget> self(this);
    m_registryToken = vehdiag::Registry::instance().subscribe([self](const std::string& make) {
        const QString name = QString::fromStdString(make);
        QMetaObject::invokeMethod(
            qApp,
            [self, name] {
                if (self && name == self->m_make)
                    self->makeReady();
            },
            Qt::QueuedConnection);
    });
    setBusy(false, VD_TR("Waiting for the make's diagnosis library..."));
    for (QPushButton* b : std::as_const(m_actions))
        b->setEnabled(false);
}

DiagWidget::~DiagWidget()
{
    vehdiag::Registry::instance().unsubscribe(m_registryToken);
    m_liveTimer->stop();
    m_worker->cancel();
    QMetaObject::invokeMethod(m_worker, &Worker::closeLink, Qt::QueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void DiagWidget::setMake(const QString& make)
{
    m_make = make;
    m_ready = false;
    m_title->setText(VD_TR("%1 diagnosis").arg(make));
    if (vehdiag::Registry::instance().make(make.toStdString()))
        makeReady();
}

void DiagWidget::makeReady()
{
    const auto definition = vehdiag::Registry::instance().make(m_make.toStdString());
    if (!definition)
        return;
    m_definition = *definition;
    m_ready = true;
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, make = m_make] { w->setMake(make); }, Qt::QueuedConnection);

    // Live value rows and the plot choice follow the make's list.
    auto* grid = m_stack->widget(kLive)->findChild<QGridLayout*>(QStringLiteral("Grid_DiagLive"));
    for (QLabel* l : std::as_const(m_liveValues))
        delete l;
    m_liveValues.clear();
    QLayoutItem* item = nullptr;
    while ((item = grid->takeAt(0)) != nullptr) {
        delete item->widget();
        delete item;
    }
    m_plotChoice->clear();
    int row = 0;
    for (const auto& v : m_definition.live) {
        const QString title = QCoreApplication::translate("VehDiag", v.title.c_str());
        grid->addWidget(new QLabel(title, m_stack->widget(kLive)), row, 0);
        auto* value = new QLabel(QStringLiteral("-"), m_stack->widget(kLive));
        value->setObjectName(
            QStringLiteral("Lab_DiagLive_%1").arg(QStringLiteral("%1").arg(v.pid, 2, 16, QLatin1Char('0')).toUpper()));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(value, row, 1);
        m_liveValues.push_back(value);
        m_plotChoice->addItem(title, QString::fromUtf8(vehdiag::obdUnit(v.pid)));
        ++row;
    }
    if (!m_definition.routines.empty())
        m_routineTitle->setText(QCoreApplication::translate("VehDiag", m_definition.routines.front().title.c_str()));
    for (QPushButton* b : std::as_const(m_actions))
        b->setEnabled(true);
    showPage(kIdent);
}

void DiagWidget::showPage(int index)
{
    for (int i = 0; i < m_nav.size(); ++i)
        m_nav[i]->setChecked(i == index);
    if (index != m_stack->currentIndex() && !m_busy)
        showMessage(QString(), false);
    m_stack->setCurrentIndex(index);
    if (index == kLive && m_ready) {
        m_plot->clear();
        m_liveClock.start();
        m_liveTimer->start();
    } else {
        m_liveTimer->stop();
    }
    if (!m_ready || m_busy)
        return;
    if (index == kIdent && m_ecus->rowCount() == 0) {
        setBusy(true, VD_TR("Identifying the vehicle..."));
        QMetaObject::invokeMethod(m_worker, &Worker::identify, Qt::QueuedConnection);
    } else if (index == kDtc && m_dtcs->rowCount() == 0) {
        setBusy(true, VD_TR("Reading the fault codes..."));
        QMetaObject::invokeMethod(m_worker, &Worker::readDtcs, Qt::QueuedConnection);
    }
}

void DiagWidget::setBusy(bool busy, const QString& message)
{
    m_busy = busy;
    for (QPushButton* b : std::as_const(m_actions))
        b->setEnabled(!busy && m_ready);
    if (!message.isNull())
        showMessage(message, false);
}

void DiagWidget::showMessage(const QString& message, bool problem)
{
    m_message->setText(message);
    m_message->setStyleSheet(problem ? QStringLiteral("color: rgb(198, 40, 40);") : QString());
}

QWidget* DiagWidget::buildIdentPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page_DiagIdent"));
    auto* layout = new QVBoxLayout(page);
    m_vin = new QLabel(page);
    m_vin->setObjectName(QStringLiteral("Lab_DiagVin"));
    m_vin->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_vin);
    m_ecus = table(
        {VD_TR("Control unit"), VD_TR("Bus"), VD_TR("Part number"), VD_TR("Software number"), VD_TR("Fault codes")},
        "Table_DiagEcus", page);
    layout->addWidget(m_ecus, 1);
    auto* scan = button(VD_TR("Identify again"), "Btn_DiagScan", page);
    connect(scan, &QPushButton::clicked, this, [this] {
        setBusy(true, VD_TR("Identifying the vehicle..."));
        QMetaObject::invokeMethod(m_worker, &Worker::identify, Qt::QueuedConnection);
    });
    m_actions << scan;
    layout->addWidget(scan, 0, Qt::AlignLeft);
    return page;
}

QWidget* DiagWidget::buildDtcPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page_DiagDtc"));
    auto* layout = new QVBoxLayout(page);
    m_dtcs
        = table({VD_TR("Control unit"), VD_TR("Code"), VD_TR("Status"), VD_TR("Description")}, "Table_DiagDtcs", page);
    layout->addWidget(m_dtcs, 1);
    auto* buttons = new QHBoxLayout;
    auto* read = button(VD_TR("Read fault codes"), "Btn_DiagReadDtc", page);
    auto* clear = button(VD_TR("Clear fault codes"), "Btn_DiagClearDtc", page);
    buttons->addWidget(read);
    buttons->addWidget(clear);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_actions << read << clear;

    m_confirm = new QFrame(page);
    m_confirm->setObjectName(QStringLiteral("Frame_DiagClearConfirm"));
    m_confirm->setFrameShape(QFrame::StyledPanel);
    auto* confirmLayout = new QHBoxLayout(m_confirm);
    auto* question = new QLabel(VD_TR("Clear the fault codes of every control unit?"), m_confirm);
    question->setWordWrap(true);
    auto* yes = button(VD_TR("Clear"), "Btn_DiagClearYes", m_confirm);
    auto* no = button(VD_TR("Cancel"), "Btn_DiagClearNo", m_confirm);
    confirmLayout->addWidget(question, 1);
    confirmLayout->addWidget(yes);
    confirmLayout->addWidget(no);
    m_confirm->hide();
    layout->addWidget(m_confirm);

    connect(read, &QPushButton::clicked, this, [this] {
        setBusy(true, VD_TR("Reading the fault codes..."));
        QMetaObject::invokeMethod(m_worker, &Worker::readDtcs, Qt::QueuedConnection);
    });
    connect(clear, &QPushButton::clicked, this, [this] { m_confirm->show(); });
    connect(no, &QPushButton::clicked, this, [this] { m_confirm->hide(); });
    connect(yes, &QPushButton::clicked, this, [this] {
        m_confirm->hide();
        if (m_busy)
            return;
        setBusy(true, VD_TR("Clearing the fault codes..."));
        QMetaObject::invokeMethod(m_worker, &Worker::clearDtcs, Qt::QueuedConnection);
    });
    return page;
}

QWidget* DiagWidget::buildLivePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page_DiagLive"));
    auto* layout = new QHBoxLayout(page);
    auto* grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("Grid_DiagLive"));
    layout->addLayout(grid);
    auto* right = new QVBoxLayout;
    m_plotChoice = new QComboBox(page);
    m_plotChoice->setObjectName(QStringLiteral("Combo_DiagPlot"));
    m_plot = new Plot(page);
    m_plot->setObjectName(QStringLiteral("Plot_DiagLive"));
    right->addWidget(m_plotChoice);
    right->addWidget(m_plot, 1);
    layout->addLayout(right, 1);
    connect(m_plotChoice, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_plot->clear();
        if (index >= 0)
            m_plot->setTitle(m_plotChoice->itemText(index), m_plotChoice->itemData(index).toString());
    });
    return page;
}

QWidget* DiagWidget::buildRoutinePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page_DiagRoutine"));
    auto* layout = new QVBoxLayout(page);
    m_routineTitle = new QLabel(page);
    m_routineTitle->setObjectName(QStringLiteral("Lab_DiagRoutineTitle"));
    layout->addWidget(m_routineTitle);
    m_routineBar = new QProgressBar(page);
    m_routineBar->setObjectName(QStringLiteral("Bar_DiagRoutine"));
    m_routineBar->setRange(0, 100);
    m_routineBar->setValue(0);
    layout->addWidget(m_routineBar);
    m_routineResult = new QLabel(page);
    m_routineResult->setObjectName(QStringLiteral("Lab_DiagRoutineResult"));
    m_routineResult->setWordWrap(true);
    layout->addWidget(m_routineResult);
    auto* run = button(VD_TR("Start the routine"), "Btn_DiagRunRoutine", page);
    m_actions << run;
    layout->addWidget(run, 0, Qt::AlignLeft);
    layout->addStretch();
    connect(run, &QPushButton::clicked, this, [this] {
        m_routineBar->setValue(0);
        m_routineResult->clear();
        setBusy(true, VD_TR("The routine is running..."));
        QMetaObject::invokeMethod(m_worker, &Worker::runRoutine, Qt::QueuedConnection);
    });
    return page;
}

void DiagWidget::onIdentified(const QString& vin, const QVector<EcuRow>& ecus, const QString& message)
{
    setBusy(false);
    m_vin->setText(VD_TR("VIN: %1").arg(vin.isEmpty() ? VD_TR("not read") : vin));
    m_ecus->setRowCount(0);
    int found = 0;
    for (const EcuRow& e : ecus) {
        const int row = m_ecus->rowCount();
        m_ecus->insertRow(row);
        QString codes = e.dtcCount >= 0 ? QString::number(e.dtcCount) : QStringLiteral("-");
        if (!e.found)
            codes = VD_TR("not found");
        setRow(m_ecus, row,
            {e.title, e.bus, e.partNumber.isEmpty() ? QStringLiteral("-") : e.partNumber,
                e.softwareNumber.isEmpty() ? QStringLiteral("-") : e.softwareNumber, codes});
        found += e.found ? 1 : 0;
    }
    fitColumns(m_ecus);
    if (!message.isEmpty())
        showMessage(message, true);
    else
        showMessage(QCoreApplication::translate("VehDiag", "%n control unit(s) found.", nullptr, found), false);
}

void DiagWidget::onDtcsRead(const QVector<DtcRow>& dtcs, const QString& message)
{
    setBusy(false);
    m_dtcs->setRowCount(0);
    for (const DtcRow& d : dtcs) {
        const int row = m_dtcs->rowCount();
        m_dtcs->insertRow(row);
        setRow(m_dtcs, row, {d.ecu, d.code, d.status, d.text});
    }
    fitColumns(m_dtcs);
    if (!message.isEmpty())
        showMessage(message, true);
    else
        showMessage(dtcs.isEmpty()
                ? VD_TR("No fault codes are stored.")
                : QCoreApplication::translate("VehDiag", "%n fault code(s) stored.", nullptr, dtcs.size()),
            false);
}

void DiagWidget::onCleared(bool ok, const QString& message)
{
    setBusy(false);
    showMessage(message, !ok);
    if (ok) {
        setBusy(true, QString());
        QMetaObject::invokeMethod(m_worker, &Worker::readDtcs, Qt::QueuedConnection);
    }
}

void DiagWidget::liveTick()
{
    if (m_liveBusy || m_busy)
        return;
    m_liveBusy = true;
    QMetaObject::invokeMethod(m_worker, &Worker::readLive, Qt::QueuedConnection);
}

void DiagWidget::onLiveRead(const QVector<double>& values, const QString& message)
{
    m_liveBusy = false;
    if (!message.isEmpty())
        showMessage(message, true);
    else if (m_message->styleSheet().isEmpty() == false)
        showMessage(QString(), false);
    const qint64 now = m_liveClock.isValid() ? m_liveClock.elapsed() : 0;
    for (int i = 0; i < values.size() && i < m_liveValues.size(); ++i) {
        const double v = values[i];
        const auto& def = m_definition.live[static_cast<std::size_t>(i)];
        m_liveValues[i]->setText(std::isnan(v) ? QStringLiteral("-")
                                               : QStringLiteral("%1 %2")
                                                     .arg(v, 0, 'f', decimals(def.pid))
                                                     .arg(QString::fromUtf8(vehdiag::obdUnit(def.pid))));
        if (i == m_plotChoice->currentIndex())
            m_plot->addSample(now, v);
    }
}

void DiagWidget::onRoutineDone(bool ok, const QString& message)
{
    setBusy(false);
    m_routineResult->setText(message);
    showMessage(message, !ok);
    if (!ok)
        m_routineBar->setValue(0);
}
