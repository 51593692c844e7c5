#include "dialup/dialersettings.h"

#include "core/apppaths.h"
#include "platform/clock.h"

#include <QDir>
#include <QFile>

namespace {

const QString StoreSection = QStringLiteral("AUTOCONNECT");
constexpr int SecondsPerDay = 86400;
constexpr int LastSecondOfDay = SecondsPerDay - 1; // 23:59:59

QVariant parseValue(const QString &raw)
{
    static const QString DwordPrefix = QStringLiteral("dword:");
    if (raw.startsWith(DwordPrefix, Qt::CaseInsensitive)) {
        const QString digits = raw.mid(DwordPrefix.size()).trimmed();
        bool ok = false;
        const quint32 number = digits.toUInt(&ok, 16);
        if (ok && digits.size() <= 8)
            return static_cast<qint32>(number);
    }
    if (raw.size() >= 2 && raw.startsWith(QLatin1Char('"')) && raw.endsWith(QLatin1Char('"')))
        return raw.mid(1, raw.size() - 2);
    return raw;
}

// Seconds after midnight from a stored value: a number, or text holding one.
double toSeconds(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        bool ok = false;
        const double seconds = value.toString().trimmed().toDouble(&ok);
        return ok ? seconds : 0;
    }
    return value.toDouble();
}

} // namespace

QString dialerStorePath()
{
    const QString explicitPath = qEnvironmentVariable("KIVREL_DIALER_STORE");
    if (!explicitPath.isEmpty())
        return explicitPath;
    if (!AppPaths::oneFolder())
        return AppPaths::file(AppPaths::Kind::Config, QStringLiteral("dialer.ini"));
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/Kivrel/dialer.ini");
}

QVariant GetRegValue(const QString &valueName, const QVariant &defaultValue)
{
    QFile file(dialerStorePath());
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    bool inSection = false;
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inSection = line.mid(1, line.size() - 2).trimmed().compare(StoreSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.left(eq).trimmed().compare(valueName, Qt::CaseInsensitive) != 0)
            continue;
        return parseValue(line.mid(eq + 1).trimmed());
    }
    return defaultValue;
}

bool InTelehoPeriod(const QVariant &start, const QVariant &end, const QTime &now)
{
    const double startSeconds = toSeconds(start);
    const double endSeconds = toSeconds(end);
    const int nowSeconds = now.hour() * 3600 + now.minute() * 60 + now.second();
    // Strict as the dialer has it: 23:59:59 itself only counts through the second half.
    return (nowSeconds > startSeconds && nowSeconds < LastSecondOfDay) || (nowSeconds >= 0 && nowSeconds < endSeconds);
}

QString ReadDialerSettings()
{
    const QVariant start = GetRegValue(QStringLiteral("TELEHO_START_TIME"), 0);
    const QVariant end = GetRegValue(QStringLiteral("TELEHO_END_TIME"), 0);
    const bool teleho = InTelehoPeriod(start, end, Clock::instance().now().time());
    const QString name = teleho ? QStringLiteral("ENTRYNAME_TELEHO") : QStringLiteral("ENTRYNAME_NORMAL");
    return GetRegValue(name, QString()).toString();
}

QString ExternalDialerProgram(ExternalDialer which)
{
    const bool connect = which == ExternalDialer::Connect;
    const QString native = connect ? QStringLiteral("rconnect") : QStringLiteral("rdisconn");
    const QString windows = connect ? QStringLiteral("RCONNECT.EXE") : QStringLiteral("RDISCONN.EXE");
    const QDir folder(AppPaths::programFolder());
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &wanted : {native, windows}) {
        for (const QString &file : files) {
            if (file.compare(wanted, Qt::CaseInsensitive) == 0)
                return folder.filePath(file);
        }
    }
    return folder.filePath(windows);
}
