// The device list page: the adapters the background service sees, the
// refresh, back and select buttons. Selection rules live in DeviceController.
#pragma once

#include <QWidget>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class VCIItem;

namespace Ui {
class MoreVciPageClass;
}

class MoreVciPage : public QWidget {
    Q_OBJECT
public:
    explicit MoreVciPage(QWidget* parent = nullptr);
    ~MoreVciPage() override;

    QListWidget* list() const;
    QPushButton* selectButton() const;
    QPushButton* refreshControl() const;
    QPushButton* backButton() const;

    int rowCount() const;
    VCIItem* row(int index) const;
    VCIItem* addRow(const QString& serial);
    void clearRows();
    // The theme greys the button while no row can be selected.
    void setSelectEnabled(bool enabled);

signals:
    // The refresh button was pressed (mouse or keyboard).
    void refreshRequested();
    void backRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::MoreVciPageClass* ui;
};
