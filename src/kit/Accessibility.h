// What screen readers and keyboard users need from the window and its
// dialogs: names for controls that show no text of their own, a focus frame
// that survives a widget's own style sheet, and Enter / Escape in dialogs.
#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace Accessibility {

// Colour of the focus frame; the themes' :focus rules use the same.
inline constexpr const char* kFocusColour = "#F5A623";

// The name and description a screen reader announces for `control`.
void describe(QWidget* control, const QString& name, const QString& description);

// Enter presses `confirm` (the default button) and Escape presses `cancel`,
// so both keys go through the buttons' own handlers and answers. `window` is
// a QDialog or any top-level widget that asks a question (a plain widget
// window gets Enter through a shortcut, since only a QDialog has a default
// button).
void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel);

// A widget's own style sheet wins over the theme's :focus rule; this appends
// the focus frame to it. Plain declarations are wrapped in a rule for the
// widget's class first.
void keepFocusFrame(QWidget* control);

// A text field with neither a name nor a label for it is announced by its
// placeholder ("E-mail address"), as browsers do. Runs again after a language
// change and replaces only the names it gave itself.
void nameFieldsByPlaceholder(QWidget* root);

} // namespace Accessibility
