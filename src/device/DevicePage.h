// The home page's adapter panel: picture, J2534 name, serial, the three
// version texts, connection kind, voltage, state and the device buttons.
// It only shows state and forwards clicks; DeviceController owns the work.
#pragma once

#include "device/DeviceStatusLoop.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class LinkDiagnosisLabel;

namespace Ui {
class DevicePageClass;
}

class DevicePage : public QWidget {
    Q_OBJECT
public:
    explicit DevicePage(QWidget* parent = nullptr);
    ~DevicePage() override;

    // The repaint of one status pass. Labels are set only when their text
    // differs. `homePageShown` is false while another page is in front: then
    // only the state and voltage labels follow the adapter.
    void refresh(const DeviceStatusSnapshot& snapshot, bool homePageShown = true);

    // Shown once, 1200 ms, when the reboot button is enabled again.
    void setPendingMessage(const QString& text) { m_pendingMessage = text; }
    QString pendingMessage() const { return m_pendingMessage; }

    QPushButton* rebootButton() const;
    QPushButton* buzzButton() const;
    QPushButton* releaseButton() const;
    QPushButton* routerButton() const;
    QPushButton* moreDevicesButton() const;
    QPushButton* firmwareButton() const;
    // "No adapter found. Why?": shown only while no adapter is found.
    LinkDiagnosisLabel* whyLink() const { return m_whyLink; }

    // "vbatt 12345 -> 12.34"-style texts of the labels, for the main window's other pages.
    static QString stateText(const VciStatusRecord& record, bool* known = nullptr);
    static QString versionText(const char* version);
    static QString connTypeText(std::int32_t connType);

    static constexpr const char* kStateGreen = "rgb(52, 199, 89)";
    static constexpr const char* kStateRed = "rgb(229, 0, 18)";

signals:
    void voltageTextChanged(const QString& text);
    void showMessage(const QString& text, int ms);

protected:
    void changeEvent(QEvent* event) override;

private:
    void setButtonEnabled(QPushButton* button, bool enabled);
    // The adapter's picture; its resource name is kept in the label's "picture" property.
    void showPicture(const QString& resource);
    static bool setTextIfDifferent(QLabel* label, const QString& text);
    static void setColor(QLabel* label, const QString& color);

    Ui::DevicePageClass* ui;
    QString m_pendingMessage;
    QString m_picture;
    LinkDiagnosisLabel* m_whyLink = nullptr;
};
