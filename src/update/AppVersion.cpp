#include "update/AppVersion.h"

#include "http/CHvHttp.h"
#include "update/UpdateLog.h"

#include "kit/AppConstants.h"
#include "kit/GlobalServerUrl.h"
#include "kit/SettingsStore.h"

#include <json/reader.h>

#include <QStringList>

#include <memory>

namespace update {

QString appVersionUrl(const QString& base, bool english)
{
    QString url = base;
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    url += QStringLiteral("/api/software-product-versions/latest-byswcode");
    url += english ? QStringLiteral("?langCode=EN&swSnCode=Brindlewick")
                   : QStringLiteral("?langCode=CN&swSnCode=Brindlewick");
    return url;
}

AppVersionInfo parseAppVersionAnswer(std::uint32_t status, const std::string& body)
{
    AppVersionInfo info;
    if (status != 200)
        return info;
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors) || !root.isObject())
        return info;
    const Json::Value& product = root["swProduct"];
    if (!product.isObject())
        return info;
    auto text = [&product](const char* key) {
        return QString::fromStdString(CHvHttp::GetJsonStringValue(product, key, std::string()));
    };
    info.code = text("code");
    info.summary = text("summary");
    info.name = text("name");
    info.versionNo = text("versionNo");
    info.size = CHvHttp::GetJsonIntegerValue(product, "size", 0);
    info.url = text("url");
    info.updatedDate = text("updatedDate");
    return info;
}

quint64 versionNumber(const QString& text, bool* ok)
{
    if (ok)
        *ok = false;
    QString version = text.trimmed();
    if (version.size() == 5)
        version += QStringLiteral(".0");
    const int v = std::max(version.lastIndexOf(QLatin1Char('V')), version.lastIndexOf(QLatin1Char('v')));
    if (v >= 0)
        version = version.mid(v + 1);
    if (version.isEmpty())
        return 0;
    const QStringList parts = version.split(QLatin1Char('.'));
    quint64 number = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 19)
            return 0;
        quint64 value = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return 0;
            if (__builtin_mul_overflow(value, quint64(10), &value)
                || __builtin_add_overflow(value, quint64(c.unicode() - '0'), &value))
                return 0;
        }
        if (__builtin_mul_overflow(number, quint64(1000), &number) || __builtin_add_overflow(number, value, &number))
            return 0;
    }
    if (ok)
        *ok = true;
    return number;
}

bool serverIsNewer(const QString& programVersion, const QString& serverVersion)
{
    bool serverOk = false;
    const quint64 server = versionNumber(serverVersion, &serverOk);
    bool programOk = false;
    const quint64 program = versionNumber(programVersion, &programOk);
    return serverOk && programOk && program < server;
}

} // namespace update

AppVersionInfo GetAuthApp(CHvHttp& client, const QString& base, bool english)
{
    const QString url = update::appVersionUrl(base, english);
    try {
        const std::string body
            = client.SendHttpOrHttpsRequest(url.toStdString(), HTTP_GET, std::string(), std::string());
        const AppVersionInfo info = update::parseAppVersionAnswer(client.GetRespCode(), body);
        if (info.isEmpty())
            qCInfo(lcUpdate) << "version check: no release in the answer, status" << client.GetRespCode();
        return info;
    } catch (HttpInterfaceError error) {
        client.HvRelease();
        qCInfo(lcUpdate) << "version check failed, error" << int(error);
    } catch (const std::exception& error) {
        qCInfo(lcUpdate) << "version check failed:" << error.what();
    }
    return AppVersionInfo();
}

AppVersionInfo GetAuthApp(const QString& base)
{
    CHvHttp client;
    const bool english = SettingsStore::instance().language() == QLatin1String(AppConstants::kLanguageEnglish);
    return GetAuthApp(client, base.isEmpty() ? globalServerUrl() : base, english);
}
