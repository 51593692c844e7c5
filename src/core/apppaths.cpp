#include "core/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString g_oneFolder;      // set when every file lives in one folder
bool g_resolved = false;  // g_oneFolder has been looked up
bool g_oldInUse = false;  // a failed move left the old folder in use
QString g_folders[4];     // folder() of each kind, once looked up

const QString kOwnName = QStringLiteral("kivrel");
const QString kOldName = QStringLiteral("Kivrel");

QString xdgHome(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + fallback;
}

QString xdgFolder(AppPaths::Kind kind)
{
    switch (kind) {
    case AppPaths::Kind::Config:
        return xdgHome("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QLatin1Char('/') + kOwnName;
    case AppPaths::Kind::Data:
        return xdgHome("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QLatin1Char('/') + kOwnName;
    case AppPaths::Kind::State:
        break;
    case AppPaths::Kind::Runtime: {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
            return runtime + QLatin1Char('/') + kOwnName;
        break;
    }
    }
    return xdgHome("XDG_STATE_HOME", QStringLiteral("/.local/state")) + QLatin1Char('/') + kOwnName;
}

void resolve()
{
    if (g_resolved)
        return;
    g_resolved = true;
    const QString home = qEnvironmentVariable("KIVREL_HOME");
    if (!home.isEmpty()) {
        g_oneFolder = QDir(home).absolutePath();
    } else if (QCoreApplication::instance()) {
        const QString exeDir = QCoreApplication::applicationDirPath();
        if (QFileInfo::exists(exeDir + QStringLiteral("/Kivrel.ini")))
            g_oneFolder = exeDir;
    }
    if (g_oneFolder.isEmpty() && g_oldInUse)
        g_oneFolder = AppPaths::oldFolder();
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Renames without replacing anything; false with errno set otherwise.
bool renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: a hard link never replaces either.
    if (::link(f.constData(), t.constData()) != 0)
        return false;
    ::unlink(f.constData());
    return true;
}

// Moves one file or folder; false with a reason when nothing was moved.
bool moveEntry(const QString &from, const QString &to, QString &reason)
{
    if (renameNoReplace(from, to))
        return true;
    if (errno != EXDEV) {
        reason = errnoText(errno);
        return false;
    }
    // Another file system: a copy beside the target, renamed into place, then
    // the original is removed. A folder is moved file by file that way.
    if (QFileInfo(from).isDir()) {
        if (!QDir().mkdir(to)) {
            reason = QStringLiteral("ﾌｫﾙﾀﾞを作れません");
            return false;
        }
        const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : names) {
            if (!moveEntry(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name, reason))
                return false;
        }
        QDir().rmdir(from);
        return true;
    }
    const QString temporary = to + QStringLiteral(".kivrel-move");
    QFile::remove(temporary);
    if (!QFile::copy(from, temporary)) {
        reason = QStringLiteral("ｺﾋﾟｰできません");
        return false;
    }
    if (!renameNoReplace(temporary, to)) {
        reason = errnoText(errno);
        QFile::remove(temporary);
        return false;
    }
    QFile::remove(from);
    return true;
}

struct Move {
    QString from;
    QString to;
};

QList<Move> oldFilesToMove()
{
    using AppPaths::Kind;
    const QString old = AppPaths::oldFolder();
    QList<Move> moves;
    const auto add = [&moves](const QString &from, const QString &to) {
        if (QFileInfo::exists(from))
            moves.append({from, to});
    };
    const auto target = [](Kind kind, const QString &name) { return xdgFolder(kind) + QLatin1Char('/') + name; };
    add(old + QStringLiteral("/Kivrel.ini"), target(Kind::Config, QStringLiteral("Kivrel.ini")));
    add(old + QStringLiteral("/Kivrel.dat"), target(Kind::Data, QStringLiteral("Kivrel.dat")));
    add(old + QStringLiteral("/KVLOG"), target(Kind::Data, QStringLiteral("KVLOG")));
    add(old + QStringLiteral("/KVLOG.TXT"), target(Kind::State, QStringLiteral("KVLOG.TXT")));
    const QStringList dialers = QDir(old).entryList(
        {QStringLiteral("rconnect"), QStringLiteral("rdisconn"), QStringLiteral("RCONNECT.EXE"),
         QStringLiteral("RDISCONN.EXE")},
        QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : dialers)
        add(old + QLatin1Char('/') + name, target(Kind::Data, name));
    if (qEnvironmentVariableIsEmpty("KIVREL_DIALER_STORE"))
        add(xdgHome("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/Kivrel/dialer.ini"),
            target(Kind::Config, QStringLiteral("dialer.ini")));
    return moves;
}

} // namespace

QString AppPaths::oldFolder()
{
    return xdgHome("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QLatin1Char('/') + kOldName;
}

bool AppPaths::oneFolder()
{
    resolve();
    return !g_oneFolder.isEmpty();
}

QString AppPaths::folder(Kind kind)
{
    resolve();
    // Looked up and made once: the activity log asks for its folder every line.
    QString &path = g_folders[static_cast<int>(kind)];
    if (!path.isEmpty())
        return path;
    path = g_oneFolder.isEmpty() ? xdgFolder(kind) : g_oneFolder;
    if (!QFileInfo(path).isDir() && QDir().mkpath(path) && kind == Kind::Runtime)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString AppPaths::file(Kind kind, const QString &name)
{
    return folder(kind) + QLatin1Char('/') + name;
}

QString AppPaths::programFolder()
{
    return folder(Kind::Data);
}

QString AppPaths::inProgramFolder(const QString &name)
{
    return file(Kind::Data, name);
}

QString AppPaths::defaultSaveFolder()
{
    return oneFolder() ? programFolder() : QDir::homePath() + QStringLiteral("/TURFNET");
}

AppPaths::MoveReport AppPaths::moveOldFiles()
{
    MoveReport report;
    if (oneFolder())
        return report;
    QList<Move> done;
    for (const Move &move : oldFilesToMove()) {
        if (QFileInfo::exists(move.to) || QFileInfo(move.to).isSymLink()) {
            report.lines.append(move.to + QStringLiteral(" が既にあるため ") + move.from +
                                QStringLiteral(" は移しません"));
            continue;
        }
        QString reason;
        const QString parent = QFileInfo(move.to).absolutePath();
        if (!QDir().mkpath(parent))
            reason = parent + QStringLiteral(" を作れません");
        if (reason.isEmpty() && moveEntry(move.from, move.to, reason)) {
            report.lines.append(move.from + QStringLiteral(" を ") + move.to + QStringLiteral(" に移しました"));
            done.append(move);
            continue;
        }
        report.failed = true;
        report.lines.append(move.from + QStringLiteral(" を ") + move.to + QStringLiteral(" に移せませんでした: ") +
                            reason);
        break;
    }
    if (!report.failed)
        return report;
    // Back as it was: the old folder stays the one folder.
    for (auto it = done.crbegin(); it != done.crend(); ++it) {
        QString reason;
        if (moveEntry(it->to, it->from, reason))
            report.lines.append(it->to + QStringLiteral(" を ") + it->from + QStringLiteral(" に戻しました"));
        else
            report.lines.append(it->to + QStringLiteral(" を戻せませんでした: ") + reason);
    }
    report.lines.append(QStringLiteral("以前のﾌｫﾙﾀﾞ ") + oldFolder() + QStringLiteral(" をそのまま使います"));
    g_oldInUse = true;
    g_resolved = false;
    for (QString &folder : g_folders)
        folder.clear();
    return report;
}

void AppPaths::reset()
{
    for (QString &folder : g_folders)
        folder.clear();
    g_oneFolder.clear();
    g_resolved = false;
    g_oldInUse = false;
}
