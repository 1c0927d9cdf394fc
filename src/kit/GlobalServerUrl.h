// The main API server's base address as the account library reports it at
// start-up; kept for the whole process and used to build request URLs.
#pragma once

#include <QString>

void setGlobalServerUrl(const QString& url);
QString globalServerUrl();
