#include "HttpsServer.h"

#include "BuildConfig.h"
#include "platform/Network.h"

#include <atomic>

// The account service's protocol is not defined yet. Until it is, every
// service operation answers at once with its failure value and never with
// made-up data, so callers take their ordinary failure paths.

struct HttpsServer::Private {
    std::atomic<unsigned> downloadStatus{HttpsServer::kDownloadFailed};
};

HttpsServer::HttpsServer()
    : d(std::make_unique<Private>())
{
}

HttpsServer::~HttpsServer() = default;

std::string HttpsServer::GetGloableUrl()
{
    return BuildConfig::kMainApiBase;
}

bool HttpsServer::InternetOk()
{
    return platform::connectivityProbe();
}

int HttpsServer::GetSMSAuthCode(std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::UserLogin(std::string&, std::string&, std::string& token)
{
    token.clear();
    return false;
}

int HttpsServer::GetEmailAuthCode(const std::string&, bool)
{
    return kResultNoNetwork;
}

int HttpsServer::EmailUserRegister(const std::string&, const std::string&, const std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::UserLoginEmail(const std::string&, const std::string&, std::string& token)
{
    token.clear();
    return false;
}

int HttpsServer::EmailUserResetPassword(const std::string&, const std::string&, const std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::SetVCIStatus_SN(const std::string&, int)
{
    return false;
}

void HttpsServer::AddVci(const std::string&, const std::string&, const std::string&)
{
}

unsigned HttpsServer::keyGetValue(const std::string&, const std::string&, const std::string&, std::string&)
{
    return 1; // not answered; the output text is left as it was
}

bool HttpsServer::GetHttpJsonInfo(const std::string&, const std::string&, ST_APP_INFO_HTTP& info)
{
    info = ST_APP_INFO_HTTP();
    return false;
}

bool HttpsServer::DownloadFile(const char*, const char*, const char*)
{
    d->downloadStatus = kDownloadFailed;
    return false;
}

bool HttpsServer::DownloadFile(const std::string&, const std::string&)
{
    d->downloadStatus = kDownloadFailed;
    return false;
}

unsigned HttpsServer::GetDownloadFileStatus()
{
    // Never "running" without a download, so polling callers always finish.
    return d->downloadStatus;
}
