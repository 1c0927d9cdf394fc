#include "account/ServiceVendor.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPopupMinHeight = 71;

QLabel* cardLabel(QWidget* parent, const char* name, const QString& style)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setStyleSheet(style);
    // Server texts are shown as they are, never interpreted.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ServiceVendor::ServiceVendor(int index, const account::TechnicianCard& card, QWidget* parent)
    : QWidget(parent)
    , m_index(index)
    , m_card(card)
{
    setObjectName(QStringLiteral("ServiceVendorClass"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QWidget#ServiceVendorClass{background-color: rgb(246, 246, 246);}"));
    setFixedHeight(96);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->setSpacing(4);
    m_name
        = cardLabel(this, "label_ServiceVendorName", QStringLiteral("font-size:16px;font-weight:bold;color:#1F2A36;"));
    m_describe
        = cardLabel(this, "label_ServiceVendorDescribe", QStringLiteral("color: rgb(127, 127, 127);font-size:15px;"));
    m_describe->setCursor(Qt::PointingHandCursor);
    m_position = cardLabel(this, "label_ServiceVendorPos", QStringLiteral("color:#1F2A36;font-size:13px;"));
    m_phone = cardLabel(this, "label_ServiceVendorPhone", QStringLiteral("color:#1F2A36;font-size:13px;"));
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("label_ServiceVendorPosIcon"));
    icon->setPixmap(QPixmap(QStringLiteral(":/image/Remote/location.png")));
    layout->addWidget(m_name);
    layout->addWidget(m_describe);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(icon);
    bottom->addWidget(m_position, 1);
    bottom->addWidget(m_phone);
    layout->addLayout(bottom);

    m_name->setText(card.name);
    m_position->setText(card.address);
    m_phone->setText(card.phone);
    const QString oneLine = QString(card.brief).replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_describe->setText(m_describe->fontMetrics().elidedText(oneLine, Qt::ElideRight, 560));
    m_describe->installEventFilter(this);
}

void ServiceVendor::showDescription()
{
    QWidget* window = this->window();
    if (!m_popup) {
        m_popup = new QLabel(window);
        m_popup->setObjectName(QStringLiteral("label_ServiceVendorPopup"));
        m_popup->setTextFormat(Qt::RichText);
        m_popup->setWordWrap(true);
        m_popup->setFixedWidth(520);
        m_popup->setStyleSheet(QStringLiteral("background-color:#FFFFFF;border:1px solid #D7D7D7;border-radius:6px;"
                                              "padding:6px;color:#1F2A36;font-size:14px;"));
        m_popup->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_popup->setText(account::descriptionRichText(m_card.brief));
    m_popup->adjustSize();
    m_popup->move(mapTo(window, QPoint(16, 46)));
    m_popup->raise();
    // Short texts fit on the card; only a longer one is worth the pop-up.
    m_popup->setVisible(m_popup->height() >= kPopupMinHeight);
}

bool ServiceVendor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_describe && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        showDescription();
    return QWidget::eventFilter(watched, event);
}

ServiceVendorPage::ServiceVendorPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ServiceVendorPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);
    auto* top = new QHBoxLayout;
    back = new QPushButton(this);
    back->setObjectName(QStringLiteral("Btn_Service_Vendor_Return"));
    back->setFlat(true);
    back->setCursor(Qt::PointingHandCursor);
    back->setStyleSheet(QStringLiteral("color:rgb(2, 167, 240);border:none;background:transparent;font-size:13px;"));
    m_title = new QLabel(this);
    m_title->setStyleSheet(QStringLiteral("font-size:18px;font-weight:bold;color:#1F2A36;"));
    search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("lineEdit_Service_Vendor_Search"));
    search->setMinimumHeight(32);
    search->setMaxLength(64);
    search->setMinimumWidth(240);
    find = new QPushButton(this);
    find->setObjectName(QStringLiteral("Btn_Vendor_Search"));
    find->setMinimumHeight(32);
    find->setCursor(Qt::PointingHandCursor);
    find->setStyleSheet(QStringLiteral("background-color: rgb(2, 167, 240);color:#FFFFFF;border:none;border-radius:6px;"
                                       "padding:0 14px;"));
    top->addWidget(back);
    top->addWidget(m_title);
    top->addStretch(1);
    top->addWidget(search);
    top->addWidget(find);
    layout->addLayout(top);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("label_Service_Vendor_Status"));
    m_status->setStyleSheet(QStringLiteral("color: rgb(127, 127, 127);"));
    layout->addWidget(m_status);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("listWidget_Service_Vendor"));
    list->setSpacing(4);
    list->setStyleSheet(QStringLiteral(
        "QScrollArea{border:0px solid;border-radius: 5px;background:#F6F6F6;}QScrollBar:vertical{width:10px;"
        "border:0px solid;border-radius: 5px;margin: 0px,0px,0px,0px;background:#F6F6F6;}QScrollBar::handle:vertical{"
        "width:10px;background:#D7D7D7;border-radius: 5px;height: 10px;}QScrollBar::handle:vertical:hover{"
        "background:#D7D7D7;border-radius: 5px;}QScrollBar{width:10px;border-radius:3px;}"));
    layout->addWidget(list, 1);
    retranslate();
}

void ServiceVendorPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void ServiceVendorPage::retranslate()
{
    m_title->setText(tr("Remote technicians"));
    list->setAccessibleName(m_title->text());
    search->setPlaceholderText(tr("Phone, name or address"));
    find->setText(tr("Search"));
    back->setText(tr("< Back"));
}

void ServiceVendorPage::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

void ServiceVendorPage::showCards(const QVector<account::TechnicianCard>& cards)
{
    // Clearing deletes every item; the view deletes the cards set on them.
    list->clear();
    for (int i = 0; i < cards.size(); ++i) {
        auto* vendor = new ServiceVendor(i, cards.at(i));
        auto* item = new QListWidgetItem(list);
        item->setSizeHint(vendor->sizeHint().expandedTo(QSize(0, vendor->height())));
        list->setItemWidget(item, vendor);
    }
}

int ServiceVendorPage::cardCount() const
{
    return list->count();
}

ServiceVendor* ServiceVendorPage::card(int row) const
{
    QListWidgetItem* item = list->item(row);
    return item ? qobject_cast<ServiceVendor*>(list->itemWidget(item)) : nullptr;
}
