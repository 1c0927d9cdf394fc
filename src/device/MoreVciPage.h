// The device list page: the adapters the background service sees, the
// select button and the refresh control. Selection rules live in DeviceController.
#pragma once

#include <QWidget>

class QLabel;
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
    QLabel* refreshControl() const;

    int rowCount() const;
    VCIItem* row(int index) const;
    VCIItem* addRow(const QString& serial);
    void clearRows();
    // Blue when a row can be selected, grey otherwise.
    void setSelectEnabled(bool enabled);

    static const char* const kSelectEnabledStyle;
    static const char* const kSelectDisabledStyle;

signals:
    // Left press on the refresh control.
    void refreshRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Ui::MoreVciPageClass* ui;
};
