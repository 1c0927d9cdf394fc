#include "maintenance/RouterPage.h"

#include "maintenance/RouterItem.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

RouterPage::RouterPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("page_Router_Connect"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(10);

    auto* top = new QHBoxLayout;
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("lbl_RouterTitle"));
    top->addWidget(m_heading);
    top->addStretch(1);
    m_refresh = new QPushButton(this);
    m_refresh->setObjectName(QStringLiteral("Btn_UpdateWifi_List"));
    top->addWidget(m_refresh);
    layout->addLayout(top);

    auto* current = new QHBoxLayout;
    m_currentCaption = new QLabel(this);
    m_current = new QLabel(QStringLiteral("--"), this);
    m_current->setObjectName(QStringLiteral("lbl_CurrentRouter"));
    m_current->setTextFormat(Qt::PlainText);
    current->addWidget(m_currentCaption);
    current->addWidget(m_current, 1);
    layout->addLayout(current);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("listWidget_Router"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_list, 1);
    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("lbl_RouterListEmpty"));
    layout->addWidget(m_empty);

    m_wifiHeading = new QLabel(this);
    m_wifiHeading->setObjectName(QStringLiteral("lbl_AdapterWifiTitle"));
    layout->addWidget(m_wifiHeading);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    m_nameCaption = new QLabel(this);
    m_nameCaption->setObjectName(QStringLiteral("Label_WIFI_Name"));
    m_passwordCaption = new QLabel(this);
    m_passwordCaption->setObjectName(QStringLiteral("Lable_WIFI_Code"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("lineEdit_WIFI_Name"));
    m_name->setMaxLength(32);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("lineEdit_WIFI_Code"));
    m_password->setMaxLength(63);
    // Screen readers announce each field by its caption.
    m_nameCaption->setBuddy(m_name);
    m_passwordCaption->setBuddy(m_password);
    grid->addWidget(m_nameCaption, 0, 0);
    grid->addWidget(m_name, 0, 1);
    grid->addWidget(m_passwordCaption, 1, 0);
    grid->addWidget(m_password, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("Btn_RouterBack"));
    m_modify = new QPushButton(this);
    m_modify->setObjectName(QStringLiteral("Btn_Modify_Router"));
    m_modify->setCheckable(true);
    m_reset = new QPushButton(this);
    m_reset->setObjectName(QStringLiteral("Btn_Route_Restor"));
    m_save = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("Btn_Save_Router"));
    for (QPushButton* b : {m_refresh, m_back, m_modify, m_reset, m_save}) {
        b->setCursor(Qt::PointingHandCursor);
        b->setMinimumSize(110, 34);
    }
    buttons->addWidget(m_back);
    buttons->addStretch(1);
    buttons->addWidget(m_modify);
    buttons->addWidget(m_reset);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    setEditing(false);
    retranslate();
    showAccessPoints({}, std::string());
}

void RouterPage::retranslate()
{
    m_heading->setText(tr("Router connection"));
    m_refresh->setText(tr("Refresh"));
    m_currentCaption->setText(tr("Current router:"));
    showEmptyText();
    m_wifiHeading->setText(tr("Adapter Wi-Fi"));
    m_nameCaption->setText(tr("Wi-Fi name:"));
    m_passwordCaption->setText(tr("Password:"));
    m_back->setText(tr("Back"));
    m_modify->setText(tr("Modify"));
    m_reset->setText(tr("Reset"));
    m_save->setText(tr("Save"));
    for (int i = 0; i < rowCount(); ++i)
        row(i)->retranslate();
}

void RouterPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void RouterPage::showAccessPoints(const std::vector<std::string>& names, const std::string& joined)
{
    m_list->clear();
    // Tab goes Refresh, each row's Connect, then the adapter's fields and buttons.
    QWidget* previous = m_refresh;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto* item = new RouterItem(static_cast<int>(i), QString::fromStdString(names[i]), m_list);
        item->setJoined(!joined.empty() && names[i] == joined);
        auto* entry = new QListWidgetItem(m_list);
        entry->setSizeHint(QSize(0, 44));
        m_list->setItemWidget(entry, item);
        setTabOrder(previous, item->connectButton());
        previous = item->connectButton();
        emit rowCreated(item);
    }
    setTabOrder(previous, m_name);
    m_empty->setVisible(names.empty());
}

void RouterPage::setScanning(bool scanning)
{
    if (scanning == m_scanning)
        return;
    m_scanning = scanning;
    showEmptyText();
}

void RouterPage::showEmptyText()
{
    m_empty->setText(
        m_scanning ? tr("Working with the adapter, please wait...") : tr("No access points. Press Refresh to scan."));
}

void RouterPage::showCurrentRouter(const std::string& name)
{
    m_current->setText(name.empty() ? QStringLiteral("--") : QString::fromStdString(name));
}

QString RouterPage::currentRouterText() const
{
    return m_current->text();
}

void RouterPage::showWifiSettings(const QString& name, const QString& password)
{
    if (editing())
        return;
    m_name->setText(name);
    m_password->setText(password);
}

void RouterPage::setEditing(bool editing)
{
    // The theme draws the modify button like its neighbours, darker while pressed.
    m_modify->setChecked(editing);
    // The password is shown only while it is being edited.
    m_password->setEchoMode(editing ? QLineEdit::Normal : QLineEdit::Password);
    for (QLineEdit* field : {m_name, m_password}) {
        field->setReadOnly(!editing);
        // The style sheet greys read-only fields: apply it to the new state.
        field->style()->unpolish(field);
        field->style()->polish(field);
    }
}

bool RouterPage::editing() const
{
    return m_modify->isChecked();
}

void RouterPage::clearMarks()
{
    for (int i = 0; i < rowCount(); ++i)
        row(i)->setJoined(false);
}

void RouterPage::markJoined(const std::string& name)
{
    const QString joined = QString::fromStdString(name);
    for (int i = 0; i < rowCount(); ++i)
        row(i)->setJoined(!joined.isEmpty() && row(i)->name() == joined);
}

int RouterPage::rowCount() const
{
    return m_list->count();
}

RouterItem* RouterPage::row(int index) const
{
    return qobject_cast<RouterItem*>(m_list->itemWidget(m_list->item(index)));
}
