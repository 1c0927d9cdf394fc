#include "kit/LazyPages.h"

#include <QStackedWidget>

LazyPages::LazyPages(QStackedWidget* stack)
    : QObject(stack)
    , m_stack(stack)
{
    connect(stack, &QStackedWidget::currentChanged, this, &LazyPages::ensure);
}

void LazyPages::add(int index, std::function<void(QWidget* host)> build)
{
    m_builders[index] = std::move(build);
    if (m_stack->currentIndex() == index)
        ensure(index);
}

void LazyPages::ensure(int index)
{
    const auto it = m_builders.find(index);
    if (it == m_builders.end())
        return;
    // Taken out first: a builder that shows its own page does not run twice.
    const std::function<void(QWidget*)> build = std::move(it->second);
    m_builders.erase(it);
    if (QWidget* host = m_stack->widget(index)) {
        build(host);
        emit pageBuilt(index);
    }
}
