// The account service's firmware routes: the latest version of an image type,
// the image files themselves (generated, valid unless a test asks otherwise)
// and the sink where the manager reports an updated adapter's serial.
#pragma once

#include "Digest.h"

#include <json/value.h>

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cloud {

// How the file of a release is served: a good image, a valid image with
// another type's marker, its first half, or with one payload byte flipped.
enum class Serve { Good, WrongMarker, Truncated, Corrupted };

struct FirmwareRelease {
    std::string typeName;
    std::string versionNo = "V1.0.0";
    std::string updatedDate;
    std::string summary;
    std::string marker;            // header marker; default: the type name's first
    std::size_t size = 256 * 1024; // payload bytes; the file is 64 bytes longer
    Serve serve = Serve::Good;
};

class FirmwareService {
public:
    // Takes the releases of firmware.json (an array of objects); false with a
    // reason when an entry is missing a member or cannot become an image.
    bool load(const Json::Value& releases, std::string& error);
    // Back to the releases loaded at start; forgets the reports and queries.
    void reset();

    // Adds the routes and their control routes to one listener; `fileBase` is
    // the file server as clients of that listener reach it.
    void install(httplib::Server& server, const std::string& fileBase);

private:
    // A release with its file built once: what is served and what the version
    // answer announces (the good file's digest for a corrupted one).
    struct Built {
        FirmwareRelease release;
        std::string fileName;
        std::shared_ptr<const std::string> file;
        std::size_t announcedSize = 0;
        std::string announcedSha256;
    };
    struct Report {
        std::string sn;
        int status = 0;
    };

    static bool build(const FirmwareRelease& release, Built& out, std::string& error);

    void handleLatest(const httplib::Request& req, httplib::Response& res, const std::string& fileBase);
    void handleFile(const httplib::Request& req, httplib::Response& res);
    void handleStatus(const httplib::Request& req, httplib::Response& res);
    void handleControl(const httplib::Request& req, httplib::Response& res);

    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const Built>> m_defaults;
    std::map<std::string, std::shared_ptr<const Built>> m_releases;
    std::vector<Report> m_reports;
    std::vector<std::pair<std::string, std::string>> m_queries; // type name, currentVersion
};

} // namespace cloud
