// A stand-in for the main window as subsystems see it: a page stack with the
// window's page count, lazily built pages, and recorded toasts and wake-ups.
#pragma once

#include "kit/LazyPages.h"
#include "kit/Subsystem.h"

#include <QStackedWidget>
#include <QStringList>
#include <QWidget>

#include <atomic>

class TestHost : public QWidget, public SubsystemHost {
public:
    TestHost()
        : m_stack(new QStackedWidget(this))
        , m_pages(new LazyPages(m_stack))
    {
        for (int i = 0; i < 23; ++i)
            m_stack->addWidget(new QWidget);
    }

    QWidget* frame() override { return this; }
    QWidget* pageHost(int index) override { return m_stack->widget(index); }
    void buildOnFirstShow(int index, std::function<void(QWidget*)> build) override
    {
        m_pages->add(index, std::move(build));
    }
    void ensurePage(int index) override { m_pages->ensure(index); }
    void showPage(int index) override { m_stack->setCurrentIndex(index); }
    void toast(const QString& text, int) override { toasts << text; }
    void wakeStatusPass() override
    {
        ++wakes;
        if (onWake)
            onWake();
    }

    int currentPage() const { return m_stack->currentIndex(); }
    bool pageBuilt(int index) const { return m_pages->built(index); }

    QStringList toasts;
    std::atomic<int> wakes{0};
    std::function<void()> onWake; // set before the subsystem is attached

private:
    QStackedWidget* m_stack;
    LazyPages* m_pages;
};
