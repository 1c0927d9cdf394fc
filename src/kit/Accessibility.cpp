#include "kit/Accessibility.h"

#include <QDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

namespace Accessibility {

void describe(QWidget* control, const QString& name, const QString& description)
{
    if (!control)
        return;
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
    // Mouse users read the same through the tool tip.
    control->setToolTip(description.isEmpty() ? name : description);
}

void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel)
{
    if (!window)
        return;
    const auto pressOn = [window](const QKeySequence& keys, QPushButton* button) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled() && button->isVisible())
                button->click();
        });
    };
    if (confirm) {
        confirm->setAutoDefault(true);
        confirm->setDefault(true);
        if (!qobject_cast<QDialog*>(window)) {
            pressOn(QKeySequence(Qt::Key_Return), confirm);
            pressOn(QKeySequence(Qt::Key_Enter), confirm);
        }
    }
    if (cancel) {
        cancel->setAutoDefault(false);
        pressOn(QKeySequence(Qt::Key_Escape), cancel);
    }
}

void keepFocusFrame(QWidget* control)
{
    if (!control)
        return;
    const QString own = control->styleSheet();
    const QString type = QString::fromLatin1(control->metaObject()->className());
    const QString frame = QStringLiteral("%1:focus{border:2px solid %2;}").arg(type, QLatin1String(kFocusColour));
    if (own.contains(frame))
        return;
    if (own.trimmed().isEmpty() || own.contains(QLatin1Char('{')))
        control->setStyleSheet(own + frame);
    else
        control->setStyleSheet(type + QLatin1Char('{') + own + QLatin1Char('}') + frame);
}

void nameFieldsByPlaceholder(QWidget* root)
{
    if (!root)
        return;
    static const char* const kGivenName = "bwNameFromPlaceholder";
    for (QLineEdit* field : root->findChildren<QLineEdit*>()) {
        const bool given = field->property(kGivenName).toBool();
        if (!given && !field->accessibleName().isEmpty())
            continue;
        bool labelled = false;
        if (QWidget* parent = field->parentWidget()) {
            for (QLabel* label : parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
                labelled = labelled || label->buddy() == field;
        }
        if (labelled || field->placeholderText().isEmpty())
            continue;
        field->setAccessibleName(field->placeholderText());
        field->setProperty(kGivenName, true);
    }
}

} // namespace Accessibility
