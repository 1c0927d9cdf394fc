// One request to the main API server, built by HttpUtils' request builders.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

struct ApiRequest {
    QUrl url;                       // full URL including the query
    QJsonObject body;               // not sent by HttpUtils::get
    QMap<QString, QString> headers; // extra request headers, set in key order
};
