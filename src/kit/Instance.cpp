#include "kit/Instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace instance {

namespace {

constexpr const char* kVariable = "BRINDLEWICK_INSTANCE";

QString home()
{
    return QString::fromLocal8Bit(qgetenv("HOME"));
}

QString xdg(const char* variable, const QString& fallback)
{
    const QString value = QString::fromLocal8Bit(qgetenv(variable));
    return value.startsWith(QLatin1Char('/')) ? value : fallback;
}

void setDefault(const char* variable, const QString& value)
{
    if (qEnvironmentVariableIsEmpty(variable))
        qputenv(variable, value.toLocal8Bit());
}

} // namespace

bool validName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return pattern.match(name).hasMatch();
}

QString apply(int argc, char** argv, QString* problem)
{
    QString chosen = qEnvironmentVariable(kVariable);
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--instance") == 0)
            chosen = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (chosen.isEmpty())
        return QString();
    if (!validName(chosen)) {
        if (problem)
            *problem = QStringLiteral("instance name refused (letters, digits, '-' and '_', at most 32): ") + chosen;
        qunsetenv(kVariable);
        return QString();
    }
    qputenv(kVariable, chosen.toLocal8Bit());

    const QString data = xdg("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
    const QString config = xdg("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
    const QString own = QStringLiteral("/brindlewick/instances/") + chosen;
    setDefault("BRINDLEWICK_SHM_PREFIX", QStringLiteral("bw") + chosen + QLatin1Char('_'));
    setDefault("BRINDLEWICK_DATA_ROOT", data + own + QStringLiteral("/ProgramData"));
    setDefault("BRINDLEWICK_REGISTRY_ROOT", config + own + QStringLiteral("/registry"));
    setDefault("BRINDLEWICK_LOG_DIR", data + own + QStringLiteral("/logs"));
    return chosen;
}

QString name()
{
    const QString value = qEnvironmentVariable(kVariable);
    return validName(value) ? value : QString();
}

QString programFile(const QString& fileName)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString own = name();
    if (own.isEmpty())
        return folder + QLatin1Char('/') + fileName;
    const QString dir = folder + QStringLiteral("/instances/") + own;
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + fileName;
}

} // namespace instance
