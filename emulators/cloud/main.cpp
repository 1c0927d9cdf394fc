// cloud-emulator: the maker's servers on loopback for development and tests.
#include "CloudServer.h"
#include "ReleaseService.h"
#include "RemoteLookupService.h"
#include "VehDiagService.h"

#include <httplib.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#ifndef BW_CLOUD_DATA_DIR
#define BW_CLOUD_DATA_DIR "data"
#endif

namespace {

// "<folder of this program>/<name>"; just <name> when the folder is unknown.
std::string besideProgram(const char* name)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(name) : (self.parent_path() / name).string();
}

void usage()
{
    std::cerr << "usage: cloud-emulator [--http-port N] [--https-port N] [--bind ADDR]\n"
                 "                      [--cert FILE --key FILE] [--files DIR] [--data DIR]\n"
                 "                      [--packages DIR] [--relay ADDR] [--release DIR]\n"
                 "                      [--vehdiag DIR]\n"
                 "  ports: 0 picks a free port; --https-port needs --cert and --key\n";
}

bool parsePort(const char* text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

bool isLoopback(const std::string& address)
{
    return address.rfind("127.", 0) == 0 || address == "localhost" || address == "::1";
}

} // namespace

int main(int argc, char** argv)
{
    int httpPort = 18080;
    int httpsPort = 18443;
    std::string bind = "127.0.0.1";
    std::string cert, key;
    cloud::CloudServer::Options options;
    options.dataDir = BW_CLOUD_DATA_DIR;
    // The diagnosis component the build places beside the programs.
    cloud::setVehDiagDirectory(besideProgram("VehDiag"));
    options.packagesDir = BW_CLOUD_PACKAGES_DIR;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (!hasValue) {
            std::cerr << "cloud-emulator: " << arg << " needs a value\n";
            usage();
            return 2;
        }
        const char* value = argv[++i];
        if (arg == "--http-port" || arg == "--https-port") {
            if (!parsePort(value, arg == "--http-port" ? httpPort : httpsPort)) {
                std::cerr << "cloud-emulator: bad port " << value << "\n";
                return 2;
            }
        } else if (arg == "--bind") {
            bind = value;
        } else if (arg == "--cert") {
            cert = value;
        } else if (arg == "--key") {
            key = value;
        } else if (arg == "--files") {
            options.filesDir = value;
        } else if (arg == "--data") {
            options.dataDir = value;
        } else if (arg == "--packages") {
            options.packagesDir = value;
        } else if (arg == "--release") {
            if (!cloud::setReleaseDirectory(value)) {
                std::cerr << "cloud-emulator: --release needs an existing folder\n";
                return 2;
            }
        } else if (arg == "--vehdiag") {
            cloud::setVehDiagDirectory(value);
        } else if (arg == "--relay") {
            if (!cloud::setRelayAddress(value)) {
                std::cerr << "cloud-emulator: --relay needs an IPv4 address\n";
                return 2;
            }
        } else {
            std::cerr << "cloud-emulator: unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    if (!isLoopback(bind)) {
        std::cerr << "cloud-emulator: refusing to listen on " << bind << " (loopback addresses only)\n";
        return 2;
    }
    if (cert.empty() != key.empty()) {
        std::cerr << "cloud-emulator: --cert and --key go together\n";
        return 2;
    }

    // Block the stop signals in every thread; the main thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    cloud::CloudServer cloudServer(options);
    std::string error;
    if (!cloudServer.load(error)) {
        std::cerr << "cloud-emulator: " << error << "\n";
        return 1;
    }

    httplib::Server http;
    std::unique_ptr<httplib::SSLServer> https;
    if (!cert.empty()) {
        https = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
        if (!https->is_valid()) {
            std::cerr << "cloud-emulator: cannot use certificate " << cert << " with key " << key << "\n";
            return 1;
        }
    }

    auto bindServer = [&](httplib::Server& server, int& port) {
        if (port == 0) {
            port = server.bind_to_any_port(bind);
            return port > 0;
        }
        return server.bind_to_port(bind, port);
    };
    if (!bindServer(http, httpPort)) {
        std::cerr << "cloud-emulator: cannot listen on " << bind << ":" << httpPort << "\n";
        return 1;
    }
    if (https && !bindServer(*https, httpsPort)) {
        std::cerr << "cloud-emulator: cannot listen on " << bind << ":" << httpsPort << "\n";
        return 1;
    }
    if (!https)
        httpsPort = 0;

    // The file server is reached by host name, the API by address.
    cloudServer.setFileBase("http://localhost:" + std::to_string(httpPort) + "/files/",
        "https://localhost:" + std::to_string(httpsPort) + "/files/");
    cloudServer.install(http, false);
    if (https)
        cloudServer.install(*https, true);

    std::thread httpThread([&] { http.listen_after_bind(); });
    std::thread httpsThread;
    if (https)
        httpsThread = std::thread([&] { https->listen_after_bind(); });

    std::cout << "cloud-emulator http=" << httpPort << " https=" << httpsPort << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);

    cloudServer.shutdown();
    http.stop();
    if (https)
        https->stop();
    httpThread.join();
    if (httpsThread.joinable())
        httpsThread.join();
    return 0;
}
