#include "core/activitylog.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"
#include "platform/clock.h"

#include <QFile>

QString activityLogPath()
{
    return AppPaths::inProgramFolder(QStringLiteral("KVLOG.TXT"));
}

void WriteStartLog()
{
    const QString line =
        QStringLiteral("\r\n[") + formatShort(Clock::instance().now()) + kStartLogSuffix + QStringLiteral("\r\n\r\n");
    QFile file(activityLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(Cp932::encode(line));
    file.close();
}

bool WriteActivityLog(const QString &text)
{
    return appendFileSynced(activityLogPath(), Cp932::encode(text + QStringLiteral("\r\n")));
}
