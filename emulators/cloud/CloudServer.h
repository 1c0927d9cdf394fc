// The maker's servers on loopback: main API, application version query and the
// file server, with a control API through which tests make it misbehave.
#pragma once

#include "Digest.h"

#include "AccountService.h"
#include "FirmwareService.h"

#include <json/value.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cloud {

// One scripted misbehaviour, applied to the next `remaining` requests whose
// path starts with `path` (every path when empty; -1 = until reset).
struct Fault {
    std::string path;
    int remaining = 1;
    int delayMs = 0;          // wait before answering
    int status = 0;           // answer with this status instead of the route
    std::string body;         // ... and this body
    std::string contentType;  // ... of this type (default text/plain)
    bool truncate = false;    // announce the full length, send half, drop the link
    int pauseMs = 0;          // send half the body, fall silent this long, then the rest
    bool invalidJson = false; // answer 200 with a broken JSON text
    std::string redirect;     // answer 302 with this Location
};

// Parses a control request body into a fault; false with a reason on bad input.
bool parseFault(const Json::Value& json, Fault& fault, std::string& error);

class CloudServer {
public:
    struct Options {
        std::string dataDir;  // driver-catalogue.json, app-version.json, firmware.json
        std::string filesDir; // extra files served under /files/ (optional)
        // The driver packages and their index packages.json (tools/packages);
        // a catalogue record without a package there gets a placeholder zip.
        std::string packagesDir;
    };

    explicit CloudServer(Options options);
    ~CloudServer();

    // Loads the data files; false with a reason when they are missing or broken.
    bool load(std::string& error);

    // Adds the routes to one listening server (plain or TLS).
    void install(httplib::Server& server, bool tls);

    // Wakes every handler that is waiting on a delay, so the servers can stop.
    void shutdown();

    // Base of the file server as clients must reach it, e.g. "http://localhost:18080/files/".
    void setFileBase(const std::string& plain, const std::string& tls);

private:
    bool applyFault(const httplib::Request& req, httplib::Response& res, bool tls);
    bool takeFault(const std::string& path, Fault& fault);
    bool waitFor(int ms);
    void count(const std::string& path);

    void handleControl(const httplib::Request& req, httplib::Response& res);
    void handleLatestVersions(const httplib::Request& req, httplib::Response& res, bool tls);
    void handleAppVersion(const httplib::Request& req, httplib::Response& res, bool tls);
    void handleAds(const httplib::Request& req, httplib::Response& res, bool tls);
    void handleAdPicture(const httplib::Request& req, httplib::Response& res);
    void handleGenerated(const httplib::Request& req, httplib::Response& res);
    void handleDriverZip(const httplib::Request& req, httplib::Response& res);
    void handleEcho(const httplib::Request& req, httplib::Response& res);

    std::string expandFiles(const std::string& text, bool tls) const;
    // Finds each catalogue record's package, sets the record's size and
    // sha256 from the file (or from a placeholder zip, with a warning).
    bool loadPackages(std::string& error);
    static std::string appArchive(const std::string& version);

    Options m_options;
    Json::Value m_catalogue; // array of product-version records
    struct DriverPackage {
        std::string path;        // the package file; empty: serve `placeholder`
        std::uint64_t size = 0;  // bytes when the digest was taken
        std::string placeholder; // a one-text-file zip for a record without a package
    };
    std::map<std::string, DriverPackage> m_packages; // by catalogue name
    Json::Value m_appVersion;
    Json::Value m_ads; // ads.json: {"items":[{"image","link"}]}; the control route replaces it
    FirmwareService m_firmware;
    AccountService m_accounts;
    std::string m_fileBasePlain;
    std::string m_fileBaseTls;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<Fault> m_faults;
    std::map<std::string, int> m_counts;
};

std::string toJson(const Json::Value& value);
// Strict JSON (no comments, no trailing text, nesting limited); false with a reason.
bool parseJson(const std::string& text, Json::Value& out, std::string& error);
// {"error": message} with the status.
void sendError(httplib::Response& res, int status, const std::string& message);
// The account service's answer: {"status": status, "errorKey": key, "error": message (when not empty)}.
void sendKeyed(httplib::Response& res, int status, const std::string& errorKey, const std::string& message);

// A zip archive (stored entries) holding the given files, for driver downloads.
std::string makeStoredZip(const std::vector<std::pair<std::string, std::string>>& files);

} // namespace cloud
