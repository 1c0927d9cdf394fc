// The one surface every subsystem offers the main window, and the frame's few
// services offered back. The window's constructor hands itself to the wiring
// (src/app/SubsystemWiring), which makes each subsystem's controller and
// attaches it; the status thread asks each for a pass, the GUI-thread slot
// asks each to repaint, and the destructor stops them. The window does not
// know any subsystem's steps. Pages are named by the table in kit/Pages.h.
#pragma once

#include "kit/Pages.h"

#include <QString>

#include <functional>

class QWidget;

class SubsystemHost {
public:
    virtual ~SubsystemHost() = default;

    // The window itself: the context for connections and the dialogs' parent.
    virtual QWidget* frame() = 0;
    // The page stack's page at `index`; a subsystem puts its page into it.
    virtual QWidget* pageHost(int index) = 0;
    // Builds a page's content into its host the first time that page is shown
    // (or when ensurePage asks for it), so start-up does not grow with pages.
    virtual void buildOnFirstShow(int index, std::function<void(QWidget* host)> build) = 0;
    virtual void ensurePage(int index) = 0;
    // Shows a page and makes it the page the status thread keeps (GUI thread).
    virtual void showPage(int index) = 0;
    // The page shown now (GUI thread).
    virtual int currentPage() = 0;
    // A short message over the window (GUI thread).
    virtual void toast(const QString& text, int ms) = 0;
    // The busy overlay over the page area while a long operation runs (GUI thread).
    virtual void setBusy(bool busy) = 0;
    // Runs the next status pass now instead of at the end of its wait (any thread).
    virtual void wakeStatusPass() = 0;
};

class Subsystem {
public:
    virtual ~Subsystem() = default;

    // GUI thread, once, from the wiring: place pages (or register them to be
    // built on first show), connect the subsystem's reports to the host,
    // start its workers.
    virtual void attach(SubsystemHost& host) = 0;
    // Status thread, once per pass. `changed` says whether an earlier step of
    // the pass already asks for a repaint; the result says whether one is needed.
    virtual bool statusPass(bool changed) { return changed; }
    // GUI thread, after a pass that asked for it.
    virtual void repaint(int currentPage) { (void)currentPage; }
    // Stops and joins the subsystem's workers; idempotent. Called before the
    // window goes, with the status thread already stopped.
    virtual void stop() { }
};
