// vci-emulator: plays one or more adapters on loopback addresses so the
// manager, the service and the tests have a real peer for the MT7628 protocol.
#include "ControlServer.h"
#include "Emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

// Asks the system for a free port on the first adapter's address.
quint16 pickPort(const QString& address)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(address), 0))
        return 0;
    return probe.serverPort();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vci-emulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Emulates Brindlewick adapters on loopback addresses."));
    parser.addHelpOption();
    QCommandLineOption adaptersOpt(QStringLiteral("adapters"), QStringLiteral("Number of adapters (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    QCommandLineOption plugOpt(QStringLiteral("plug"),
        QStringLiteral("Adapters plugged at start: all, none or a list like 1,3-4 (default all)."),
        QStringLiteral("LIST"), QStringLiteral("all"));
    QCommandLineOption baseOpt(QStringLiteral("base-address"),
        QStringLiteral("Address of adapter 1; the others count up (default 127.0.100.1)."), QStringLiteral("IP"),
        QStringLiteral("127.0.100.1"));
    QCommandLineOption portOpt(QStringLiteral("port"),
        QStringLiteral("Protocol port of every adapter, 0 picks a free one (default 7628)."), QStringLiteral("PORT"),
        QStringLiteral("7628"));
    QCommandLineOption controlOpt(QStringLiteral("control-port"),
        QStringLiteral("Control port on 127.0.0.1, 0 picks a free one (default 7629)."), QStringLiteral("PORT"),
        QStringLiteral("7629"));
    QCommandLineOption rebootOpt(QStringLiteral("reboot-ms"),
        QStringLiteral("How long a rebooting adapter stays away (default 4000)."), QStringLiteral("MS"),
        QStringLiteral("4000"));
    QCommandLineOption flashOpt(QStringLiteral("flash-ms"),
        QStringLiteral("How long writing a firmware image takes (default 2000)."), QStringLiteral("MS"),
        QStringLiteral("2000"));
    QCommandLineOption uploadIdleOpt(QStringLiteral("upload-idle-ms"),
        QStringLiteral("An upload with no bytes for this long is dropped (default 10000)."), QStringLiteral("MS"),
        QStringLiteral("10000"));
    QCommandLineOption passthruOpt(QStringLiteral("passthru-port"),
        QStringLiteral("Pass-thru port of every adapter, 0 picks a free one (default 7630)."), QStringLiteral("PORT"),
        QStringLiteral("7630"));
    QCommandLineOption vehicleOpt(QStringLiteral("vehicle"),
        QStringLiteral("Vehicle of every adapter: a name of the shipped vehicles or a vehicle file (default: the "
                       "default vehicle)."),
        QStringLiteral("NAME|PATH"));
    QCommandLineOption noStdinOpt(QStringLiteral("no-stdin"), QStringLiteral("Do not read commands from stdin."));
    parser.addOptions({adaptersOpt, plugOpt, baseOpt, portOpt, controlOpt, rebootOpt, flashOpt, uploadIdleOpt,
        passthruOpt, vehicleOpt, noStdinOpt});
    parser.process(app);

    auto number = [&](const QCommandLineOption& o, int min, int max, int* out) {
        bool ok = false;
        const int v = parser.value(o).toInt(&ok);
        if (!ok || v < min || v > max) {
            std::fprintf(stderr, "vci-emulator: bad value for --%s: %s\n", qPrintable(o.names().first()),
                qPrintable(parser.value(o)));
            return false;
        }
        *out = v;
        return true;
    };

    vciemu::EmulatorOptions options;
    int port = 0;
    int controlPort = 0;
    int passthruPort = 0;
    if (!number(adaptersOpt, 1, 1000, &options.adapters) || !number(portOpt, 0, 65535, &port)
        || !number(controlOpt, 0, 65535, &controlPort) || !number(passthruOpt, 0, 65535, &passthruPort)
        || !number(rebootOpt, 0, 600000, &options.rebootMs) || !number(flashOpt, 0, 600000, &options.flashMs)
        || !number(uploadIdleOpt, 1, 600000, &options.uploadIdleMs))
        return 2;
    options.plug = parser.value(plugOpt);
    options.baseAddress = parser.value(baseOpt);
    options.port = static_cast<quint16>(port);
    options.passthruPort = static_cast<quint16>(passthruPort);
    options.vehicle = parser.value(vehicleOpt);
    if (options.port == 0)
        options.port = pickPort(options.baseAddress);
    if (options.port == 0) {
        std::fprintf(stderr, "vci-emulator: cannot bind %s\n", qPrintable(options.baseAddress));
        return 1;
    }

    // Every adapter listens on two ports (protocol and pass-thru): up to 1000
    // adapters need more descriptors than the usual soft limit of 1024.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    vciemu::Emulator emulator;
    QObject::connect(&emulator, &vciemu::Emulator::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QString error;
    if (!emulator.start(options, &error)) {
        std::fprintf(stderr, "vci-emulator: %s\n", qPrintable(error));
        return 1;
    }
    vciemu::ControlServer control(&emulator);
    if (!control.listen(static_cast<quint16>(controlPort), &error)) {
        std::fprintf(stderr, "vci-emulator: control port %d: %s\n", controlPort, qPrintable(error));
        return 1;
    }

    // SIGTERM / SIGINT end the event loop cleanly.
    if (::pipe(g_signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        auto* n = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(n, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    // Commands may also be typed on stdin; answers go to stdout.
    if (!parser.isSet(noStdinOpt)) {
        auto* in = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        auto* pending = new QByteArray;
        QObject::connect(in, &QSocketNotifier::activated, &app, [in, pending, &emulator] {
            char buf[1024];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                in->setEnabled(false); // end of input: keep running on the control port
                return;
            }
            pending->append(buf, static_cast<int>(n));
            int nl;
            while ((nl = pending->indexOf('\n')) >= 0) {
                const QString line = QString::fromUtf8(pending->left(nl)).trimmed();
                pending->remove(0, nl + 1);
                if (!line.isEmpty())
                    std::printf("%s\n", qPrintable(emulator.execute(line)));
            }
            if (pending->size() > 4096)
                pending->clear();
            std::fflush(stdout);
        });
    }

    std::printf("vci-emulator: %d adapter(s) from %s, protocol port %u, pass-thru port %u, control port %u\n",
        options.adapters, qPrintable(options.baseAddress), options.port, emulator.passthruPort(), control.port());
    for (int i = 1; i <= emulator.count(); ++i) {
        const auto& s = emulator.endpoint(i)->adapter().state();
        std::printf("adapter %d %s %s %s\n", i, s.ip.c_str(), s.serial.c_str(),
            emulator.endpoint(i)->plugged() ? "plugged" : "unplugged");
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
