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

void setDialogKeys(QDialog* dialog, QPushButton* confirm, QPushButton* cancel)
{
    if (!dialog)
        return;
    if (confirm) {
        confirm->setAutoDefault(true);
        confirm->setDefault(true);
    }
    if (cancel) {
        cancel->setAutoDefault(false);
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), dialog);
        escape->setContext(Qt::WindowShortcut);
        QObject::connect(escape, &QShortcut::activated, cancel, [cancel] {
            if (cancel->isEnabled())
                cancel->click();
        });
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
