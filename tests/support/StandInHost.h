// A stand-in for the main window as subsystems see it, for tests and
// benchmarks: a page stack "Tab_Stack" with the window's pages (named as in
// the page table), pages built on first show, and the frame's services
// recorded: toasts (and the last one's duration) and status-pass wake-ups.
#pragma once

#include "kit/LazyPages.h"
#include "kit/Subsystem.h"

#include <QStackedWidget>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>
#include <functional>

class StandInHost : public QWidget, public SubsystemHost {
public:
    StandInHost()
        : stack(new QStackedWidget(this))
        , m_pages(new LazyPages(stack))
    {
        resize(902, 652);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(stack);
        stack->setObjectName(QStringLiteral("Tab_Stack"));
        for (const Pages::Page& page : Pages::kTable) {
            auto* host = new QWidget(stack);
            host->setObjectName(QLatin1String(page.objectName));
            stack->addWidget(host);
        }
    }

    QWidget* frame() override { return this; }
    QWidget* pageHost(int index) override { return stack->widget(index); }
    void buildOnFirstShow(int index, std::function<void(QWidget*)> build) override
    {
        m_pages->add(index, std::move(build));
        if (buildAtOnce)
            m_pages->ensure(index);
    }
    void ensurePage(int index) override { m_pages->ensure(index); }
    void showPage(int index) override { stack->setCurrentIndex(index); }
    int currentPage() override { return stack->currentIndex(); }
    void toast(const QString& text, int ms) override
    {
        toasts << text;
        toastMs = ms;
    }
    void setBusy(bool) override { }
    void wakeStatusPass() override
    {
        ++wakes;
        if (onWake)
            onWake();
    }

    bool pageBuilt(int index) const { return m_pages->built(index); }

    QStackedWidget* stack;
    // Builds every page as soon as it is registered (the window's order before
    // pages were built on first show); set before the subsystem is attached.
    bool buildAtOnce = false;
    QStringList toasts;
    int toastMs = 0; // the last toast's duration
    std::atomic<int> wakes{0};
    std::function<void()> onWake; // set before the subsystem is attached

private:
    LazyPages* m_pages;
};
