// A seam for the modal dialogs of the kit. When an answerer is installed,
// AlertDialog::ask and MessageYesNo::exec do not show anything: they record
// what they would have asked and return the answerer's result at once. GUI
// tests of the pages and the main window use it; the program never installs one.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class DialogSeam {
public:
    enum class Kind { Alert, YesNo };

    struct Request {
        Kind kind = Kind::Alert;
        QString title; // empty for MessageYesNo
        QString text;
        QString confirmText; // empty for MessageYesNo
        QString cancelText;  // empty for MessageYesNo
    };

    // Returns 1 for confirm / yes, 0 for cancel / no / close.
    using Answerer = std::function<int(const Request&)>;

    static void install(Answerer answerer);
    // Shorthand: every dialog gets the same answer.
    static void answerAlways(int answer);
    // Removes the answerer and forgets the recorded requests.
    static void clear();
    static bool active();

    static QList<Request> requests();
    static void clearRequests();

    // Used by the dialogs: records the request and returns the answer; only
    // valid while active().
    static int answer(const Request& request);
};
