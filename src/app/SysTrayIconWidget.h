// The tray icon with its "Display" / "Exit" menu. When the desktop has no tray
// (some window managers, Xvfb) the icon is not shown; the window then keeps
// itself reachable (see Kestrix::ClickButton_Close).
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

class SysTrayIconWidget : public QWidget {
    Q_OBJECT

public:
    SysTrayIconWidget(std::function<void()> showCallback, QWidget* parent = nullptr);
    ~SysTrayIconWidget() override;

    void setActionTexts(const QString& display, const QString& exit);
    QAction* displayAction() const { return m_showAction; }
    QAction* exitAction() const { return m_exitAction; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // Whether a system tray exists; tests may pretend either way.
    static bool available();
    static void setAvailabilityOverride(std::optional<bool> available);

public slots:
    void on_showMainAction();
    void on_exitAppAction();

private:
    std::function<void()> m_showCallback;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_showAction = nullptr;
    QAction* m_exitAction = nullptr;
};
