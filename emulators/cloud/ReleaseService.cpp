#include "ReleaseService.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace cloud {

namespace {

std::mutex g_mutex;
std::string g_folder;

std::string folder()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_folder;
}

} // namespace

bool setReleaseDirectory(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_directory(path, error))
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folder = path;
    return true;
}

void installReleaseService(httplib::Server& server)
{
    if (folder().empty())
        return;
    // Names are letters, digits, "-" and "_" only, so a request cannot leave the folder.
    server.Get(R"(/files/app/([A-Za-z0-9_-]{1,64})\.zip)", [](const httplib::Request& req, httplib::Response& res) {
        const std::filesystem::path file = std::filesystem::path(folder()) / (req.matches[1].str() + ".zip");
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
        if (error || !*in) {
            res.status = 404;
            res.set_content("{\"error\":\"no such release archive\"}", "application/json");
            return;
        }
        res.set_content_provider(std::size_t(size), "application/zip",
            [in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                in->seekg(std::streamoff(offset));
                const std::size_t want = std::min(length, sizeof buffer);
                in->read(buffer, std::streamsize(want));
                const std::streamsize got = in->gcount();
                if (got <= 0)
                    return false;
                return sink.write(buffer, std::size_t(got));
            });
    });
}

} // namespace cloud
