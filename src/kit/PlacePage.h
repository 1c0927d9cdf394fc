// Puts a subsystem's page into its host in the window's page stack: the page
// fills the host, whose layout is made when it has none.
#pragma once

#include <QBoxLayout>
#include <QLayout>
#include <QPushButton>
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

// Puts a flat link button named `name` in a row of its own at the top of a
// page's host (above the page's own controls); the caller gives it its text
// and connects it.
inline QPushButton* placeBackLink(QWidget* host, const QString& name, const QString& rowName)
{
    auto* row = new QWidget(host);
    row->setObjectName(rowName);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(24, 16, 24, 0);
    auto* back = new QPushButton(row);
    back->setObjectName(name);
    back->setCursor(Qt::PointingHandCursor);
    back->setFlat(true);
    rowLayout->addWidget(back);
    rowLayout->addStretch(1);
    if (auto* layout = qobject_cast<QBoxLayout*>(host->layout())) {
        layout->insertWidget(0, row);
    } else if (!host->layout()) {
        auto* column = new QVBoxLayout(host);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(row);
        column->addStretch(1);
    }
    return back;
}
