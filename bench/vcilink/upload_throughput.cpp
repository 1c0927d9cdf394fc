// Firmware upload throughput to the adapter emulator on loopback, with the
// emulator's write delay off, next to raw loopback TCP measured in the same
// run: the library call (MT7628Config::UploadImage) and the whole can_upgrade
// program (file read, local check, upload). Goal: at least 50 MB/s.
// Usage: vcilink_upload_bench [--mib N] [--rounds N]
#include "MT7628Config.h"
#include "firmware/FirmwareImage.h"
#include "support/AdapterProcesses.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char* kAdapter = "127.0.103.1";

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double megabytesPerSecond(std::size_t bytes, double s)
{
    return s > 0 ? double(bytes) / 1e6 / s : 0;
}

// Bytes through one loopback TCP connection to a reader that drops them.
double rawLoopback(std::size_t bytes)
{
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    socklen_t len = sizeof a;
    if (::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(server, 1) != 0
        || ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    std::thread reader([server] {
        const int c = ::accept(server, nullptr, nullptr);
        std::vector<char> buf(256 * 1024);
        while (::recv(c, buf.data(), buf.size(), 0) > 0) { }
        ::close(c);
    });
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    std::vector<char> chunk(256 * 1024, 'x');
    const auto t0 = Clock::now();
    bool ok = ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    for (std::size_t sent = 0; ok && sent < bytes;) {
        const ssize_t n = ::send(client, chunk.data(), std::min(chunk.size(), bytes - sent), MSG_NOSIGNAL);
        ok = n > 0;
        sent += ok ? std::size_t(n) : 0;
    }
    ::shutdown(client, SHUT_WR);
    reader.join();
    const double s = seconds(t0);
    ::close(client);
    ::close(server);
    return ok ? megabytesPerSecond(bytes, s) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int mib = 15;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--mib"))
            mib = std::clamp(std::atoi(argv[i + 1]), 1, 15);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::clamp(std::atoi(argv[i + 1]), 1, 100);
    }

    EmulatorProcess emulator;
    if (!emulator.start({QStringLiteral("--base-address"), QString::fromLatin1(kAdapter), QStringLiteral("--flash-ms"),
            QStringLiteral("0")})) {
        std::fprintf(stderr, "%s\n", qPrintable(emulator.errorText()));
        return 1;
    }
    // A CAN image: the adapter takes it without restarting, so rounds follow at once.
    std::vector<unsigned char> payload(std::size_t(mib) * 1024 * 1024);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    const std::vector<unsigned char> image = firmware::buildImage("kestrix_E508", "V9.9.9", payload);

    MT7628Config lib;
    lib.setPort(emulator.port());
    std::vector<double> library;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        const auto outcome = lib.UploadImage(kAdapter, MT7628Config::Image::Can, image.data(), image.size());
        const double s = seconds(t0);
        if (outcome.result != MT7628Config::UploadResult::Written) {
            std::fprintf(stderr, "upload failed: %s\n", outcome.message.c_str());
            return 1;
        }
        library.push_back(megabytesPerSecond(image.size(), s));
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("can.bin"));
    std::ofstream(file.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    QProcess upgrader;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRINDLEWICK_MT7628_PORT"), QString::number(emulator.port()));
    upgrader.setProcessEnvironment(env);
    std::vector<double> program;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        upgrader.start(testBinary("can_upgrade"), {file, QString::fromLatin1(kAdapter)});
        upgrader.waitForFinished(60000);
        const double s = seconds(t0);
        if (upgrader.exitStatus() != QProcess::NormalExit || upgrader.exitCode() != 0) {
            std::fprintf(stderr, "can_upgrade failed: %s\n", upgrader.readAllStandardError().constData());
            return 1;
        }
        program.push_back(megabytesPerSecond(image.size(), s));
    }

    std::vector<double> raw;
    for (int r = 0; r < rounds; ++r)
        raw.push_back(rawLoopback(image.size()));

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("image %.1f MB, %d rounds, medians:\n", double(image.size()) / 1e6, rounds);
    std::printf("  raw loopback TCP          %8.1f MB/s\n", median(raw));
    std::printf("  UploadImage (library)     %8.1f MB/s\n", median(library));
    std::printf("  can_upgrade (whole run)   %8.1f MB/s\n", median(program));
    std::printf("  goal                      %8.1f MB/s  %s\n", 50.0,
        median(library) >= 50 && median(program) >= 50 ? "met" : "MISSED");
    return 0;
}
