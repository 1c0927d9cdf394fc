// Builds the content of a page stack's page the first time the page is shown.
#pragma once

#include <QObject>

#include <functional>
#include <map>

class QStackedWidget;
class QWidget;

class LazyPages : public QObject {
    Q_OBJECT
public:
    explicit LazyPages(QStackedWidget* stack);

    // `build` fills the page at `index` (its host widget) on first show. A page
    // that is already current is built at once.
    void add(int index, std::function<void(QWidget* host)> build);
    // Builds the page now unless it was built already.
    void ensure(int index);
    bool built(int index) const { return m_builders.find(index) == m_builders.end(); }

signals:
    // A page's content was just built (what the frame adds to every page follows).
    void pageBuilt(int index);

private:
    QStackedWidget* m_stack;
    std::map<int, std::function<void(QWidget*)>> m_builders; // pages still to build
};
