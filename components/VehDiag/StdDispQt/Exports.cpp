// The display library's entry points (Exports.h), all called on the GUI
// thread in the order SetLanguage, SetVehiclePath, SetGloableWidget,
// MakeStackWid, SetVeh.
#include "vehdiag/Exports.h"
#include "DiagWidget.h"

#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QTranslator>
#include <QVBoxLayout>

#define VEHDIAG_EXPORT __attribute__((visibility("default")))

namespace {

struct State {
    QString language = QStringLiteral("en");
    QString vehDiagFolder;
    QPointer<QWidget> host;
    QPointer<DiagWidget> widget;
    // The component's own catalogue; removed from the application when the
    // library goes away (its data lives in this library's resources).
    QTranslator translator;
    bool translatorInstalled = false;
};

State& state()
{
    static State s;
    return s;
}

QString text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

} // namespace

extern "C" {

VEHDIAG_EXPORT void VEHDIAG_CALL SetLanguage(const char* language)
{
    State& s = state();
    s.language = text(language) == QLatin1String("en") ? QStringLiteral("en") : QStringLiteral("es");
    if (!qApp)
        return;
    if (s.translatorInstalled)
        QCoreApplication::removeTranslator(&s.translator);
    s.translatorInstalled = s.translator.load(QStringLiteral(":/vehdiag/vehdiag_%1.qm").arg(s.language))
        && QCoreApplication::installTranslator(&s.translator);
}

VEHDIAG_EXPORT void VEHDIAG_CALL SetVehiclePath(const char* vehDiagFolder)
{
    state().vehDiagFolder = text(vehDiagFolder);
}

VEHDIAG_EXPORT void VEHDIAG_CALL SetGloableWidget(QWidget* host)
{
    state().host = host;
}

VEHDIAG_EXPORT void VEHDIAG_CALL MakeStackWid()
{
    State& s = state();
    if (!s.host)
        return;
    delete s.widget;
    QLayout* layout = s.host->layout();
    if (!layout) {
        layout = new QVBoxLayout(s.host);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    s.widget = new DiagWidget(s.vehDiagFolder, s.language, s.host);
    layout->addWidget(s.widget);
    s.widget->show();
}

VEHDIAG_EXPORT void VEHDIAG_CALL SetVeh(const char* make)
{
    State& s = state();
    if (s.widget && make)
        s.widget->setMake(text(make));
}
}
