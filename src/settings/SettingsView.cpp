#include "settings/SettingsView.h"

#include "settings/EnetControl.h"
#include "settings/SettingsLog.h"

#include "device/AppShared.h"
#include "kit/AlertDialog.h"
#include "kit/AppConstants.h"
#include "kit/SettingsStore.h"
#include "kit/Switch.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QSignalBlocker>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

const QString kFontFamily = QStringLiteral("Microsoft YaHei");
const QColor kIconColor(0x4A, 0x4A, 0x4F);  // dark grey
const QColor kArrowColor(0xB0, 0xB0, 0xB5); // light grey

const QString kHoverStyle = QStringLiteral("QWidget#content:hover { background-color: rgba(60, 60, 67, 0.10); }");
const QString kSignedInStyle = QStringLiteral("QLabel { color: #2B8FCF; }");
const QString kSignedOutStyle = QStringLiteral("QLabel { color: #000; }");

const QString kComboStyle = QStringLiteral(
    "QComboBox { background-color: white; font: 14px Microsoft YaHei; border: 1px solid #999; padding: 4px 0px 4px "
    "10px; border-radius: 4px; }"
    "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: top right; width: 26px; "
    "border-top-right-radius: 4px; border-bottom-right-radius: 4px; }"
    "QComboBox::down-arrow { image: url(:/img/arrow_down.svg); width:12px; height:7px; }"
    "QComboBox::down-arrow:on { image: url(:/img/arrow_up.svg); width:12px; height:7px; }"
    "QComboBox QAbstractItemView { font: 14px Microsoft YaHei; background-color: white; }"
    "QComboBox QAbstractItemView::item{ padding: 8px; margin-left: 5px; }");

// The page's own looks in one sheet, parsed once: the list without frame,
// selection or focus (rows show their own hover), subtitles, separators,
// section headers and the update tag.
const QString kPageStyle
    = QStringLiteral("QListWidget#list_Settings { border: none; background: transparent; outline: none; }"
                     "QListWidget#list_Settings::item, QListWidget#list_Settings::item:selected,"
                     " QListWidget#list_Settings::item:hover { background: transparent; border: none; }"
                     "QLabel#subTitle { color: #8A8A8E; }"
                     "QFrame#separator { background-color: #E5E5EA; margin: 0px 24px; }"
                     "QLabel#section { color: #6E6E73; padding: 10px 24px 4px 24px; }"
                     "QLabel#tag { color: white; background-color: #E50012; border-radius: 9px; padding: 1px 8px; }");

// A one-colour picture of an SVG icon, drawn without the image plugins.
QPixmap tintedIcon(const QString& resource, int size, const QColor& color, bool mirrored = false)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QImage image(QSize(size, size) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        if (mirrored) {
            painter.translate(image.width(), 0);
            painter.scale(-1, 1);
        }
        QSvgRenderer(resource).render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
        painter.resetTransform();
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

// The arrow at the right end of rows without a control: the back icon turned to point right.
QLabel* arrowLabel(QWidget* parent)
{
    auto* arrow = new QLabel(parent);
    arrow->setObjectName(QStringLiteral("arrow"));
    arrow->setFixedSize(16, 16);
    arrow->setPixmap(tintedIcon(QStringLiteral(":/img/back.svg"), 16, kArrowColor, true));
    return arrow;
}

QFont rowFont(int pixelSize, bool bold = false)
{
    QFont font(kFontFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

SettingsView::SettingsView(QWidget* parent)
    : QWidget(parent)
    , m_probes(SettingsProbes::system())
    , m_applyAutostart(applyAutostart)
    , m_exit([](int code) { QCoreApplication::exit(code); })
{
    setObjectName(QStringLiteral("SettingsView"));
    setStyleSheet(kPageStyle);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 30, 0, 0);
    layout->setSpacing(12);

    m_pageTitle = new QLabel(this);
    m_pageTitle->setObjectName(QStringLiteral("lbl_SettingsTitle"));
    m_pageTitle->setFont(rowFont(22, true));
    m_pageTitle->setContentsMargins(24, 0, 0, 0);
    layout->addWidget(m_pageTitle);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("list_Settings"));
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_list);

    buildRows();
    retranslate();
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QListWidget::itemClicked, this, &SettingsView::onRowClicked);
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::makeItemRow(
    const QString& icon, QWidget* rightEnd, bool hover, bool separator, QLabel** title, QLabel** subtitle)
{
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    content->setAttribute(Qt::WA_StyledBackground, true);
    content->setAttribute(Qt::WA_Hover, hover);
    if (hover) {
        content->setStyleSheet(kHoverStyle);
        content->setCursor(Qt::PointingHandCursor);
    }
    auto* outer = new QVBoxLayout(content);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(24, 10, 24, 10);
    row->setSpacing(14);
    auto* image = new QLabel(content);
    image->setObjectName(QStringLiteral("image"));
    image->setFixedSize(24, 24);
    image->setPixmap(tintedIcon(icon, 24, kIconColor));
    row->addWidget(image, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    *title = new QLabel(content);
    (*title)->setObjectName(QStringLiteral("title"));
    (*title)->setFont(rowFont(15));
    *subtitle = new QLabel(content);
    (*subtitle)->setObjectName(QStringLiteral("subTitle"));
    (*subtitle)->setFont(rowFont(12));
    (*subtitle)->setWordWrap(true);
    // Long tips wrap: the row's height follows the list's width.
    QSizePolicy wrapping(QSizePolicy::Preferred, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    (*subtitle)->setSizePolicy(wrapping);
    texts->addWidget(*title);
    texts->addWidget(*subtitle);
    row->addLayout(texts, 1);

    if (rightEnd) {
        rightEnd->setParent(content);
        row->addWidget(rightEnd, 0, Qt::AlignVCenter);
    } else {
        row->addWidget(arrowLabel(content), 0, Qt::AlignVCenter);
    }
    outer->addLayout(row);

    if (separator) {
        auto* line = new QFrame(content);
        line->setObjectName(QStringLiteral("separator"));
        line->setFixedHeight(1);
        outer->addWidget(line);
    }
    return content;
}

QLabel* SettingsView::makeSectionRow()
{
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("section"));
    label->setFont(rowFont(13, true));
    return label;
}

void SettingsView::addRow(QWidget* widget, bool clickable)
{
    auto* item = new QListWidgetItem(m_list);
    item->setFlags(clickable ? Qt::ItemIsEnabled : Qt::NoItemFlags);
    item->setSizeHint(widget->sizeHint());
    m_list->setItemWidget(item, widget);
}

void SettingsView::buildRows()
{
    m_accountSection = makeSectionRow();
    addRow(m_accountSection, false);

    m_accountRow = makeItemRow(
        QStringLiteral(":/img/user.svg"), nullptr, true, false, &m_titles[RowAccount], &m_subtitles[RowAccount]);
    m_titles[RowAccount]->setStyleSheet(kSignedOutStyle);
    addRow(m_accountRow, true);

    m_settingsSection = makeSectionRow();
    addRow(m_settingsSection, false);

    m_logSwitch = new Switch;
    m_logSwitch->setObjectName(QStringLiteral("switch_SystemLog"));
    addRow(makeItemRow(QStringLiteral(":/img/log.svg"), m_logSwitch, false, true, &m_titles[RowSystemLog],
               &m_subtitles[RowSystemLog]),
        false);

    m_autostartSwitch = new Switch;
    m_autostartSwitch->setObjectName(QStringLiteral("switch_AutoStart"));
    addRow(makeItemRow(QStringLiteral(":/img/power.svg"), m_autostartSwitch, false, true, &m_titles[RowAutoStart],
               &m_subtitles[RowAutoStart]),
        false);

    // The update tag: "New" while a newer version is known, then the arrow.
    m_tagWidget = new QWidget;
    m_tagWidget->setObjectName(QStringLiteral("tagWidget"));
    auto* tagLayout = new QHBoxLayout(m_tagWidget);
    tagLayout->setContentsMargins(0, 0, 0, 0);
    tagLayout->setSpacing(8);
    m_tag = new QLabel(m_tagWidget);
    m_tag->setObjectName(QStringLiteral("tag"));
    QFont tagFont(kFontFamily);
    tagFont.setPointSize(12);
    tagFont.setBold(true);
    m_tag->setFont(tagFont);
    m_tag->hide();
    tagLayout->addWidget(m_tag);
    tagLayout->addWidget(arrowLabel(m_tagWidget));
    addRow(makeItemRow(QStringLiteral(":/img/update.svg"), m_tagWidget, true, true, &m_titles[RowCheckUpdate],
               &m_subtitles[RowCheckUpdate]),
        true);

    m_language = new QComboBox;
    m_language->setObjectName(QStringLiteral("combo_Language"));
    m_language->setView(new QListView(m_language));
    m_language->addItem(QStringLiteral("Español"), QStringLiteral("es"));
    m_language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    m_language->setStyleSheet(kComboStyle);
    m_language->setMinimumWidth(130);
    addRow(makeItemRow(QStringLiteral(":/img/globe.svg"), m_language, false, true, &m_titles[RowLanguage],
               &m_subtitles[RowLanguage]),
        false);
    connect(m_language, qOverload<int>(&QComboBox::currentIndexChanged), this, &SettingsView::onLanguageChanged);

    m_enetSwitch = new Switch;
    m_enetSwitch->setObjectName(QStringLiteral("switch_Enet"));
    m_enetSwitch->hide(); // until an adapter is read
    addRow(makeItemRow(
               QStringLiteral(":/img/enet.svg"), m_enetSwitch, false, true, &m_titles[RowEnet], &m_subtitles[RowEnet]),
        false);

    addRow(makeItemRow(QStringLiteral(":/img/support.svg"), nullptr, true, false, &m_titles[RowSupportFile],
               &m_subtitles[RowSupportFile]),
        true);

    connect(m_logSwitch, &Switch::stateChanged, this, &SettingsView::onSystemLogChanged);
    connect(m_autostartSwitch, &Switch::stateChanged, this, &SettingsView::onAutostartChanged);
    connect(m_enetSwitch, &Switch::stateChanged, this, &SettingsView::onEnetChanged);
}

QWidget* SettingsView::rowWidget(int row) const
{
    QListWidgetItem* item = m_list->item(row);
    return item ? m_list->itemWidget(item) : nullptr;
}

void SettingsView::retranslate()
{
    m_pageTitle->setText(tr("SoftwareSettings"));
    m_accountSection->setText(tr("Account"));
    m_settingsSection->setText(tr("Settings"));
    applyUserName();
    m_titles[RowSystemLog]->setText(tr("SystemLog"));
    m_subtitles[RowSystemLog]->setText(tr("SystemLogTip"));
    m_titles[RowAutoStart]->setText(tr("AutoStart"));
    m_subtitles[RowAutoStart]->setText(tr("AutoStartTip"));
    m_titles[RowCheckUpdate]->setText(tr("CheckUpdate"));
    m_subtitles[RowCheckUpdate]->setText(tr("CheckUpdateTip"));
    m_tag->setText(tr("NewVersion"));
    m_titles[RowLanguage]->setText(tr("SwitchLanguage"));
    m_subtitles[RowLanguage]->setText(tr("SwitchLanguageTip"));
    m_titles[RowEnet]->setText(tr("EnetSimulate"));
    m_subtitles[RowEnet]->setText(tr("EnetSimulateTip"));
    m_titles[RowSupportFile]->setText(tr("SupportFile"));
    setSupportProgress(m_supportPercent, m_supportStep);
    updateRowHeights();
}

void SettingsView::updateRowHeights()
{
    // Subtitles wrap, so a row's height depends on the list's width.
    const int width = m_list->viewport()->width();
    for (int row = 0; row < m_list->count(); ++row) {
        QWidget* widget = rowWidget(row);
        if (!widget)
            continue;
        // Nested layouts keep their last height-for-width; a text changed since.
        for (QLayout* layout : widget->findChildren<QLayout*>())
            layout->invalidate();
        if (widget->layout())
            widget->layout()->invalidate();
        const int height = widget->hasHeightForWidth() ? widget->heightForWidth(width) : widget->sizeHint().height();
        m_list->item(row)->setSizeHint(QSize(width, qMax(height, widget->minimumSizeHint().height())));
    }
}

bool SettingsView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        updateRowHeights();
    return QWidget::eventFilter(watched, event);
}

void SettingsView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void SettingsView::moveSwitch(Switch* control, bool state)
{
    if (control->state() == state)
        return;
    control->setState(state);
    emit control->stateChanged(state);
}

void SettingsView::refresh()
{
    const SettingsState state = readSettingsState(m_probes);
    moveSwitch(m_logSwitch, state.systemLog);
    moveSwitch(m_autostartSwitch, state.autostart);
    if (initialLanguageIndex < 0)
        initialLanguageIndex = state.languageIndex;
    // The stored language shown again is no choice of the user's: no handler.
    const QSignalBlocker blocker(m_language);
    m_language->setCurrentIndex(state.languageIndex);
}

void SettingsView::onSystemLogChanged(bool on)
{
    if (on)
        m_folders.enable();
    else
        m_folders.disable();
}

void SettingsView::onAutostartChanged(bool on)
{
    if (m_applyAutostart && !m_applyAutostart(on))
        qCInfo(lcSettings) << "the autostart entry could not be" << (on ? "written" : "removed");
}

void SettingsView::onLanguageChanged(int index)
{
    const QString code = SettingsLanguage::codeFor(index);
    if (code.isEmpty())
        return;
    SettingsStore::instance().setLanguage(code);
    if (!SettingsLanguage::asksForRestart(index, initialLanguageIndex))
        return;
    const int answer = AlertDialog::ask(window(), tr("Hint"), tr("LanguageChangedHint"), tr("Confirm"),
        AlertDialog::StylePrimary, QString(), AlertDialog::StyleSecondary);
    if (answer == 1 && m_exit)
        m_exit(AppConstants::restartExitCode);
}

void SettingsView::setEnetControl(EnetControl* control)
{
    if (m_enet)
        disconnect(m_enet, nullptr, this, nullptr);
    m_enet = control;
    if (!m_enet)
        return;
    connect(m_enet, &EnetControl::busyChanged, this, [this](bool busy) { m_enetSwitch->setEnabled(!busy); });
    // What the adapter reports is shown; it is not written back to it.
    connect(m_enet, &EnetControl::stateRead, this, [this](bool on) { m_enetSwitch->setState(on); });
    m_enetSwitch->setEnabled(!m_enet->busy());
}

EnetControl* SettingsView::enet()
{
    if (!m_enet && mt7628Config) {
        m_ownEnet = new EnetControl(*mt7628Config, this);
        setEnetControl(m_ownEnet);
    }
    return m_enet;
}

void SettingsView::onEnetChanged(bool on)
{
    EnetControl* control = enet();
    if (!control || m_device.SN.isEmpty())
        return;
    control->write(m_device.vciIP, on);
}

void SettingsView::onDeviceInfo(const DeviceInfo& info)
{
    m_device = info;
    EnetControl* control = enet();
    if (info.SN.isEmpty()) {
        if (control)
            control->cancel();
        m_enetSwitch->setState(false);
        m_enetSwitch->hide();
        return;
    }
    m_enetSwitch->show();
    if (control)
        control->read(info.vciIP);
}

void SettingsView::setUserName(const QString& name)
{
    m_userName = name;
    applyUserName();
}

void SettingsView::applyUserName()
{
    QLabel* title = m_titles[RowAccount];
    QLabel* subtitle = m_subtitles[RowAccount];
    if (!m_userName.isEmpty()) {
        title->setText(m_userName);
        title->setStyleSheet(kSignedInStyle);
        subtitle->setText(tr("LoggedIn"));
    } else {
        title->setText(tr("LogInRegister"));
        title->setStyleSheet(kSignedOutStyle);
        subtitle->setText(tr("LogInRegisterTip"));
    }
    updateRowHeights();
}

void SettingsView::setNewVersion(bool available)
{
    m_tag->setVisible(available);
}

void SettingsView::setSupportProgress(int percent, const QString& step)
{
    m_supportPercent = percent;
    m_supportStep = step;
    QLabel* subtitle = m_subtitles[RowSupportFile];
    if (percent < 0)
        subtitle->setText(tr("SupportFileTip"));
    else
        subtitle->setText(tr("%1... %2%", "SupportFileProgress").arg(step).arg(percent));
    updateRowHeights();
}

void SettingsView::onRowClicked(QListWidgetItem* item)
{
    switch (m_list->row(item)) {
    case RowAccount:
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        break;
    case RowCheckUpdate:
        emit AppShared::instance()->signal(RunVersionCheck, QVariant());
        break;
    case RowSupportFile:
        if (m_supportPercent < 0)
            emit supportFileRequested();
        break;
    default:
        break;
    }
}
