// The program's one top-level window: a frameless frame with the navigation,
// the page stack, the tray icon, the toast and busy overlays. It offers the
// subsystems the frame's services; app/SubsystemWiring makes and connects them.
#pragma once

#include "kit/LazyPages.h"
#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QStackedWidget>
#include <atomic>
#include <memory>
#include <vector>

class QPushButton;
class QTimer;
class QTranslator;
class Loading;
class TMessageBox;
class SysTrayIconWidget;
class StatusThread;
struct SubsystemSet;
namespace Ui {
class KestrixClass;
}

class Kestrix : public QWidget, public SubsystemHost {
    Q_OBJECT

public:
    Kestrix(QPoint& startPos, unsigned char* showRequest, QWidget* parent = nullptr);
    ~Kestrix() override;

    bool isInitialised() const { return initialised; }

    // The page the status thread asks the GUI thread to show (worker threads set it).
    void setPageRequest(int index) { pageRequest.store(index); }
    int currentPageRequest() const { return pageRequest.load(); }

    SysTrayIconWidget* trayWidget() const { return trayIcon; }
    TMessageBox* toast() const { return messageBox; }
    // The first attached subsystem of type T (tests; the window itself needs none).
    template <typename T>
    T* subsystem() const
    {
        for (const std::unique_ptr<Subsystem>& each : attached())
            if (T* found = dynamic_cast<T*>(each.get()))
                return found;
        return nullptr;
    }

    // SubsystemHost
    QWidget* frame() override { return this; }
    QWidget* pageHost(int index) override { return stack->widget(index); }
    void buildOnFirstShow(int index, std::function<void(QWidget*)> build) override
    {
        lazyPages->add(index, std::move(build));
    }
    void ensurePage(int index) override { lazyPages->ensure(index); }
    void showPage(int index) override;
    int currentPage() override { return stack->currentIndex(); }
    void toast(const QString& text, int ms) override { SlotsTMsg(text, ms); }
    void setBusy(bool busy) override;
    void wakeStatusPass() override;

signals:
    void Sign_QTimerONOFF(QTimer* TimerName, QString Status);
    void SignalsUpdateThread();
    void SignalsTMsg(QString text, int iTime);
    void SignalsTMsg(QString text);

public slots:
    void Slot_QTimerCtl(QTimer* timer, QString status);
    void ClickButton_SwitchEnglish();
    void ClickButton_SwitchSpanish();
    void ClickButton_Min();
    void ClickButton_Close();
    void SlotsUpdateThread();
    void SlotsTMsg(QString text, int ms);
    void SlotsTMsg(QString text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const std::vector<std::unique_ptr<Subsystem>>& attached() const;
    void describeFrameControls();
    void finishPage(int index);
    void applyLanguage(const QString& language);
    void startAfterShown();
    void statusPass();

    std::unique_ptr<Ui::KestrixClass> ui;
    QPoint& initialPos;
    unsigned char* showFlag;
    bool initialised = false;
    bool dragging = false;
    QPoint dragOffset;
    std::atomic<int> pageRequest{0};
    bool noInternet = false;
    std::atomic<int> visiblePage{0}; // set on the GUI thread, read by the status thread
    int lastSeenPage = 0;
    static constexpr int kStartAfterShownLatestMs = 1000;
    bool startedAfterShown = false;

    QTranslator* translator = nullptr;
    SysTrayIconWidget* trayIcon = nullptr;
    Loading* loading = nullptr;
    TMessageBox* messageBox = nullptr;
    QStackedWidget* stack = nullptr; // the form's Tab_Stack
    LazyPages* lazyPages = nullptr;
    std::vector<QPushButton*> backLinks; // the links to the settings page the frame placed
    std::unique_ptr<SubsystemSet> subsystems;
    std::unique_ptr<StatusThread> statusThread;
    WorkerGroup workers; // the window's own workers (log clean-up)
};
