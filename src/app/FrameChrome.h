// The main window's own furniture, apart from its behaviour: the navigation
// group and the initial states of the frame's controls, the busy overlay, and
// the names screen readers announce for the picture-only buttons. The texts
// are the window's ("Kestrix" in the catalogues).
#pragma once

class Loading;
class QString;
class QWidget;

namespace Ui {
class KestrixClass;
}

namespace FrameChrome {

// The six navigation buttons as one exclusive group of checkable buttons,
// the settings button and the update mark placed, the hidden buttons hidden,
// the page table's appended pages added to the stack.
void setUp(Ui::KestrixClass& ui, QWidget* frame);
// The navigation buttons' pictures in `language` ("en", "es"): one for the
// button unchecked, one checked, read by their suffix.
void showNavigationPictures(Ui::KestrixClass& ui, const QString& language);
// Busy overlay: hidden until a long operation shows it, over the page area.
Loading* makeBusyOverlay(QWidget* frame);
void setBusy(Loading* overlay, bool busy);
// Names and descriptions of the frame's controls, in the current language.
void describe(Ui::KestrixClass& ui);

} // namespace FrameChrome
