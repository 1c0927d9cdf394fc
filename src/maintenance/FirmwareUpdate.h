// The firmware update of the adapter's three images, without widgets: the
// version query, and the update-all worker with the download, the checks,
// the upgrader and the wait for the adapter's return of each image.
//
// Everything outside (the account service, the upgrader programs, the status
// record, the clock) comes in through Hooks, so tests drive whole runs with a
// virtual clock. Every wait is bounded (see the limits below): a technician
// gets a failure with what to do instead of a page that waits for ever.
#pragma once

#include "maintenance/UpgradeReport.h"

#include "device/VciStatusRecord.h"

#include <firmware/FirmwareImage.h>

#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct LatestFirmware {
    std::string versionNo;
    std::string updatedDate;
    std::string summary;
    std::string url;
    std::string fileName;
    std::string sha256; // lower-case hex of the whole file; empty when the server gave none
};

class FirmwareUpdate {
public:
    using Clock = std::chrono::milliseconds;

    // Limits on the waits that have none of their own.
    static constexpr std::chrono::minutes kDownloadLimit{10};
    static constexpr std::chrono::minutes kUpgraderLimit{10};
    static constexpr std::chrono::seconds kSystemReturnLimit{600};
    static constexpr std::chrono::seconds kAppReturnLimit{300};

    enum class Query { NotAsked, Latest, UpdateAvailable, Failed };

    struct Hooks {
        // Latest version of a type name; false when the service cannot say.
        std::function<bool(const std::string& typeName, const std::string& currentVersion, LatestFirmware& out)>
            queryLatest;
        // Starts a download into `path`; false when it cannot start.
        std::function<bool(const std::string& url, const std::string& name, const std::string& path)> startDownload;
        // 0 running, 1 done, anything else failed.
        std::function<unsigned()> downloadStatus;
        // Runs a program and waits at most `limit`; its exit code, or -1 when
        // it could not start, ran out of time (then it is killed) or was stopped.
        std::function<int(
            const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds limit)>
            runProgram;
        std::function<bool(VciStatusRecord& out)> readStatus;
        // Waits; false when the run is being stopped.
        std::function<bool(std::chrono::milliseconds)> sleep;
        // SHA-256 of a file as lower-case hex; empty when it cannot be read.
        std::function<std::string(const std::string& path)> fileSha256;
        std::function<void(const SignalsUpgradeInfo_struct&)> report;
        // Whether the internet can be reached; asked before the version query.
        std::function<bool()> internetOk;
    };

    struct ImageState {
        std::string typeName;
        std::string current;
        LatestFirmware latest;
        Query query = Query::NotAsked;
        bool done = false; // updated in this run of the program
    };

    FirmwareUpdate(Hooks hooks, std::string tempDir, std::string programDir);

    // Whether the adapter of this record has images to update.
    static bool updatable(const VciStatusRecord& record);
    // The version query for the adapter of `record`; internetOk false marks
    // every image as failed without asking.
    void queryVersions(const VciStatusRecord& record, bool internetOk);
    const ImageState& image(firmware::Image which) const { return m_images[index(which)]; }
    bool hasImages() const;

    // Worker thread: updates every image not yet done, in the order system,
    // application, CAN, and stops at the first that fails. True when all
    // went through.
    bool updateAll(const std::string& vciIP);

    static std::string upgraderProgram(const std::string& programDir, firmware::Image which);

private:
    static std::size_t index(firmware::Image which) { return static_cast<std::size_t>(which); }
    bool runImage(firmware::Image which, const std::string& vciIP);
    bool download(firmware::Image which, const std::string& path, int& progress, int ceiling);
    bool waitForReturn(firmware::Image which, int& progress);
    void say(int state, int progress, const QString& text) const;

    Hooks m_hooks;
    std::string m_tempDir;
    std::string m_programDir;
    std::array<ImageState, 3> m_images;
};
