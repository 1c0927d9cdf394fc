#include "kit/GlobalServerUrl.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex g_mutex;
QString g_url;
} // namespace

void setGlobalServerUrl(const QString& url)
{
    QMutexLocker lock(&g_mutex);
    g_url = url;
}

QString globalServerUrl()
{
    QMutexLocker lock(&g_mutex);
    return g_url;
}
