#include "RemoteLookupService.h"

#include "CloudServer.h"

#include <httplib.h>

#include <arpa/inet.h>

#include <cctype>
#include <mutex>

namespace cloud {
namespace {

std::mutex g_mutex;
std::string g_relay = "127.0.0.1";

bool plainSerial(const std::string& sn)
{
    if (sn.empty() || sn.size() > 20)
        return false;
    for (const char c : sn)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

bool setRelayAddress(const std::string& address)
{
    in_addr a;
    if (address.size() > 15 || ::inet_pton(AF_INET, address.c_str(), &a) != 1)
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_relay = address;
    return true;
}

void installRemoteLookup(httplib::Server& server)
{
    server.Get("/api/remote/relay", [](const httplib::Request& req, httplib::Response& res) {
        if (req.has_param("sn") && !plainSerial(req.get_param_value("sn"))) {
            sendError(res, 400, "sn must be 1 to 20 letters or digits");
            return;
        }
        Json::Value body;
        body["status"] = 200;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            body["relay"] = g_relay;
        }
        res.set_content(toJson(body), "application/json");
    });
}

} // namespace cloud
