// Test helper started in place of a restarted manager: tries to claim the
// single-instance segment named by BW_PROBE_KEY and writes what happened and
// how many arguments it got into the file BW_PROBE_OUT.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(QString::fromLocal8Bit(qgetenv("BW_PROBE_KEY")));
    const bool claimed = instance.claim();
    QFile out(QString::fromLocal8Bit(qgetenv("BW_PROBE_OUT")));
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    out.write((claimed ? "claimed " : "busy ") + QByteArray::number(argc - 1));
    return 0;
}
