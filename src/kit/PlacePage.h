// Puts a subsystem's page into its host in the window's page stack: the page
// fills the host, whose layout is made when it has none.
#pragma once

#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

template <typename Page>
Page* placePage(QWidget* host)
{
    auto* page = new Page(host);
    if (host) {
        QLayout* layout = host->layout();
        if (!layout) {
            layout = new QVBoxLayout(host);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        layout->addWidget(page);
    }
    return page;
}
