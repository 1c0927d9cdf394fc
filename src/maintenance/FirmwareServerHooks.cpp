#include "maintenance/FirmwareServerHooks.h"

#include <HttpsServer.h>

#include <QCryptographicHash>
#include <QFile>

std::string fileSha256(const std::string& path)
{
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return std::string();
    return hash.result().toHex().toStdString();
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
