#include "platform/dialupservice.h"

#include "platform/eventpump.h"
#include "platform/process.h"

#include <QProcess>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

namespace {

const QString NmcliProgram = QStringLiteral("nmcli");

QString textNoService()
{
    return QStringLiteral("ﾈｯﾄﾜｰｸ接続の管理ｻｰﾋﾞｽ(nmcli)が見つかりません。");
}

QString textTimedOut()
{
    return QStringLiteral("ﾈｯﾄﾜｰｸ接続の管理ｻｰﾋﾞｽが応答しません。");
}

QString textCommandFailed(int exitCode, const QByteArray &standardError)
{
    const QString detail = QString::fromLocal8Bit(standardError).trimmed();
    if (!detail.isEmpty())
        return detail;
    return QStringLiteral("nmcli がｴﾗｰ %1 で終了しました。").arg(exitCode);
}

QString describeFailure(const ProcessResult &r)
{
    if (r.error == ProcessTimedOut)
        return textTimedOut();
    if (r.error != 0)
        return StandardErrorText(r.error);
    return textCommandFailed(r.exitCode, r.standardError);
}

bool succeeded(const ProcessResult &r)
{
    return r.error == 0 && r.exitedNormally && r.exitCode == 0;
}

// The whole process group: the command was started as its own group leader.
void killGroup(QProcess *proc)
{
    const qint64 pid = proc->processId();
    if (pid > 0)
        ::kill(static_cast<pid_t>(-pid), SIGKILL);
    proc->kill();
}

NmcliDialupService &nmcliService()
{
    static NmcliDialupService service;
    return service;
}

DialupService *g_service = nullptr;

} // namespace

DialupService &DialupService::instance()
{
    return g_service ? *g_service : nmcliService();
}

void DialupService::install(DialupService *service)
{
    g_service = service;
}

bool DialupService::connect(const QString &name, QString *error)
{
    bool finished = false;
    bool ok = false;
    QString reason;
    const int id = startConnect(
        name,
        [&](bool result, const QString &text) {
            finished = true;
            ok = result;
            reason = text;
        },
        &reason);
    if (id != 0) {
        while (!finished)
            EventPump::instance().pumpOnce();
    }
    if (error)
        *error = reason;
    return id != 0 && ok;
}

struct NmcliDialupService::Pending {
    QProcess *process = nullptr;
    QTimer *timer = nullptr;
    ConnectDone done;
};

NmcliDialupService::NmcliDialupService() = default;

NmcliDialupService::~NmcliDialupService()
{
    const QList<int> ids = m_pending.keys();
    for (int id : ids)
        cancelConnect(id);
}

void NmcliDialupService::setTimeouts(int listMs, int connectMs)
{
    m_listTimeoutMs = listMs;
    m_connectTimeoutMs = connectMs;
}

bool NmcliDialupService::available()
{
    return !resolveProgram(NmcliProgram).isEmpty();
}

QStringList NmcliDialupService::splitTerseLine(const QString &line)
{
    QStringList fields;
    QString field;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            field += line.at(++i);
        } else if (c == QLatin1Char(':')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

QList<QStringList> NmcliDialupService::runList(const QStringList &args)
{
    if (!available()) {
        setLastError(textNoService());
        return {};
    }
    const ProcessResult r = runProcess(NmcliProgram, args, m_listTimeoutMs);
    if (!succeeded(r)) {
        setLastError(describeFailure(r));
        return {};
    }
    setLastError(QString());
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(r.standardOutput).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        rows << splitTerseLine(line);
    return rows;
}

QStringList NmcliDialupService::listEntries()
{
    QStringList names;
    const QList<QStringList> rows = runList({QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("NAME,TYPE"),
                                             QStringLiteral("connection"), QStringLiteral("show")});
    for (const QStringList &row : rows) {
        // The loopback profile is no connection anyone would dial.
        if (row.size() > 1 && row.at(1) == QLatin1String("loopback"))
            continue;
        names << row.first();
    }
    return names;
}

QStringList NmcliDialupService::activeConnections()
{
    QStringList names;
    const QList<QStringList> rows =
        runList({QStringLiteral("-t"), QStringLiteral("-f"), QStringLiteral("NAME"), QStringLiteral("connection"),
                 QStringLiteral("show"), QStringLiteral("--active")});
    for (const QStringList &row : rows)
        names << row.first();
    return names;
}

bool NmcliDialupService::disconnect(const QString &name, QString *error)
{
    QString reason;
    if (!available()) {
        reason = textNoService();
    } else {
        const ProcessResult r =
            runProcess(NmcliProgram, {QStringLiteral("connection"), QStringLiteral("down"), QStringLiteral("id"), name},
                       m_connectTimeoutMs);
        if (!succeeded(r))
            reason = describeFailure(r);
    }
    setLastError(reason);
    if (error)
        *error = reason;
    return reason.isEmpty();
}

int NmcliDialupService::startConnect(const QString &name, ConnectDone done, QString *error)
{
    const QString program = resolveProgram(NmcliProgram);
    if (program.isEmpty()) {
        setLastError(textNoService());
        if (error)
            *error = lastError();
        return 0;
    }
    const int id = m_nextId++;
    auto *pending = new Pending;
    pending->done = std::move(done);
    pending->process = new QProcess;
    pending->timer = new QTimer;
    m_pending.insert(id, pending);

    QProcess *proc = pending->process;
    proc->setStandardInputFile(QProcess::nullDevice());
    proc->setChildProcessModifier([] { ::setpgid(0, 0); });
    // Queued, so that `done` never runs inside this call even when the start fails at once.
    QObject::connect(
        proc, &QProcess::finished, proc,
        [this, id, proc](int exitCode, QProcess::ExitStatus status) {
            const bool ok = status == QProcess::NormalExit && exitCode == 0;
            finishConnect(id, ok, ok ? QString() : textCommandFailed(exitCode, proc->readAllStandardError()));
        },
        Qt::QueuedConnection);
    QObject::connect(
        proc, &QProcess::errorOccurred, proc,
        [this, id](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                finishConnect(id, false, StandardErrorText(ProcessInvalidCall));
        },
        Qt::QueuedConnection);
    pending->timer->setSingleShot(true);
    QObject::connect(pending->timer, &QTimer::timeout, pending->timer,
                     [this, id] { finishConnect(id, false, textTimedOut()); });
    pending->timer->start(m_connectTimeoutMs);
    proc->start(program, {QStringLiteral("connection"), QStringLiteral("up"), QStringLiteral("id"), name});
    return id;
}

void NmcliDialupService::finishConnect(int id, bool ok, const QString &error)
{
    Pending *pending = m_pending.value(id);
    if (!pending)
        return;
    ConnectDone done = std::move(pending->done);
    cancelConnect(id);
    setLastError(ok ? QString() : error);
    if (done)
        done(ok, error);
}

void NmcliDialupService::cancelConnect(int id)
{
    Pending *pending = m_pending.take(id);
    if (!pending)
        return;
    QProcess *proc = pending->process;
    proc->disconnect();
    pending->timer->disconnect();
    // Deleted only once it has ended, and never inside one of its own signals.
    if (proc->state() != QProcess::NotRunning) {
        QObject::connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
        QObject::connect(proc, &QProcess::errorOccurred, proc, &QObject::deleteLater);
        killGroup(proc);
    } else {
        proc->deleteLater();
    }
    pending->timer->deleteLater();
    delete pending;
}
