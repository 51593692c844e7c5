#include "platform/process.h"

#include "platform/clock.h"
#include "platform/eventpump.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <signal.h>
#include <unistd.h>

namespace {

// Why a program cannot be started, judged before trying, so the caller gets
// the traditional number (53 for a missing file) rather than a bare failure.
int checkProgram(const QString &program, QString *path)
{
    if (program.isEmpty())
        return ProcessInvalidCall;
    if (!program.contains(QLatin1Char('/'))) {
        *path = QStandardPaths::findExecutable(program);
        return path->isEmpty() ? ProcessFileNotFound : 0;
    }
    const QFileInfo info(program);
    if (!info.exists())
        return info.absoluteDir().exists() ? ProcessFileNotFound : ProcessPathNotFound;
    if (info.isDir())
        return ProcessBadPathName;
    if (!info.isExecutable())
        return ProcessPermissionDenied;
    *path = info.absoluteFilePath();
    return 0;
}

enum class Output { Capture, Forward };

ProcessResult run(const QString &program, const QStringList &args, int timeoutMs, Output output)
{
    ProcessResult result;
    QString path;
    result.error = checkProgram(program, &path);
    if (result.error != 0)
        return result;

    QProcess proc;
    bool done = false;
    QObject::connect(&proc, &QProcess::finished, [&](int exitCode, QProcess::ExitStatus status) {
        result.exitCode = exitCode;
        result.exitedNormally = status == QProcess::NormalExit;
        done = true;
    });
    QObject::connect(&proc, &QProcess::errorOccurred, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            result.error = ProcessInvalidCall;
            done = true;
        }
    });
    proc.setStandardInputFile(QProcess::nullDevice());
    if (output == Output::Forward)
        proc.setProcessChannelMode(QProcess::ForwardedChannels);
    if (timeoutMs >= 0) {
        // Its own process group, so a time-out also ends whatever it started.
        proc.setChildProcessModifier([] { ::setpgid(0, 0); });
    }
    proc.start(path, args);

    const quint32 started = Clock::instance().tickCount();
    bool killed = false;
    while (!done) {
        EventPump::instance().pumpOnce();
        if (done || killed || timeoutMs < 0)
            continue;
        if (Clock::elapsed(started, Clock::instance().tickCount()) >= static_cast<quint32>(timeoutMs)) {
            const qint64 pid = proc.processId();
            if (pid > 0)
                ::kill(static_cast<pid_t>(-pid), SIGKILL);
            proc.kill();
            killed = true;
        }
    }
    if (output == Output::Capture) {
        result.standardOutput = proc.readAllStandardOutput();
        result.standardError = proc.readAllStandardError();
    }
    if (killed && result.error == 0)
        result.error = ProcessTimedOut;
    return result;
}

} // namespace

ProcessResult runProcess(const QString &program, const QStringList &args, int timeoutMs)
{
    return run(program, args, timeoutMs, Output::Capture);
}

int RunAndWait(const QString &program, const QStringList &args)
{
    return run(program, args, -1, Output::Forward).error;
}

QString resolveProgram(const QString &program)
{
    QString path;
    return checkProgram(program, &path) == 0 ? path : QString();
}

QString StandardErrorText(int number)
{
    switch (number) {
    case ProcessInvalidCall:
        return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
    case 7:
        return QStringLiteral("メモリが不足しています。");
    case 52:
        return QStringLiteral("ファイル名または番号が不正です。");
    case ProcessFileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case 57:
        return QStringLiteral("デバイス I/O エラーです。");
    case 68:
        return QStringLiteral("デバイスが準備されていません。");
    case ProcessPermissionDenied:
        return QStringLiteral("書き込みできません。");
    case ProcessBadPathName:
        return QStringLiteral("パス名が無効です。");
    case ProcessPathNotFound:
        return QStringLiteral("パスが見つかりません。");
    case ProcessTimedOut:
        return QStringLiteral("プログラムが時間内に終了しませんでした。");
    default:
        return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
    }
}
