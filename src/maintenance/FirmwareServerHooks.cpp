#include "maintenance/FirmwareServerHooks.h"

#include "kit/Sha256.h"

#include <HttpsServer.h>

#include <QFile>

// The account library writes the image straight to the file and hands over
// no bytes on the way, so the digest is taken once the file is complete,
// from the page cache, with the kit's SHA-256 (the processor's SHA
// instructions where OpenSSL has them).
std::string fileSha256(const std::string& path)
{
    return Sha256::ofFile(QFile::decodeName(path.c_str())).toStdString();
}

FirmwareUpdate::Hooks firmwareServerHooks(HttpsServer& server)
{
    FirmwareUpdate::Hooks h;
    h.queryLatest = [&server](const std::string& type, const std::string& current, LatestFirmware& out) {
        ST_APP_INFO_HTTP info;
        if (!server.GetHttpJsonInfo(type, current, info))
            return false;
        out.versionNo = info.versionNo;
        out.updatedDate = info.updatedDate;
        out.summary = info.summary;
        out.url = info.downloadUrl;
        out.fileName = info.fileName;
        out.sha256 = info.sha256;
        return true;
    };
    h.startDownload = [&server](const std::string& url, const std::string& name, const std::string& path) {
        return server.DownloadFile(url.c_str(), name.c_str(), path.c_str());
    };
    h.downloadStatus = [&server] { return server.GetDownloadFileStatus(); };
    h.fileSha256 = fileSha256;
    return h;
}
