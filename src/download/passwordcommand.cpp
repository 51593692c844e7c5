#include "download/passwordcommand.h"

#include "platform/process.h"

namespace PasswordCommand {

std::optional<QStringList> split(const QString &line)
{
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < line.size()) {
                current += line.at(++i);
            } else if (c == u'"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == u' ' || c == u'\t') {
            if (inArg)
                args.append(current);
            current.clear();
            inArg = false;
            continue;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'%' && i + 1 < line.size() && line.at(i + 1) == u'%') {
            current += u'%';
            ++i;
        } else {
            current += c;
        }
        inArg = true;
    }
    if (quoted)
        return std::nullopt;
    if (inArg)
        args.append(current);
    if (args.isEmpty())
        return std::nullopt;
    return args;
}

Result run(const QString &line)
{
    Result result;
    std::optional<QStringList> args = split(line);
    if (!args) {
        result.failure = PasswordCommandText::BadLine;
        return result;
    }
    const QString program = args->takeFirst();
    const ProcessResult p = runProcess(program, *args, TimeLimitMs);
    if (p.error == ProcessTimedOut) {
        result.failure = PasswordCommandText::TimedOut;
    } else if (p.error != 0) {
        result.failure = PasswordCommandText::NotStarted + StandardErrorText(p.error) + QStringLiteral(" (") +
                         program + QStringLiteral(")");
    } else if (!p.exitedNormally) {
        result.failure = PasswordCommandText::Crashed;
    } else if (p.exitCode != 0) {
        result.failure = PasswordCommandText::Failed + QString::number(p.exitCode) + QStringLiteral(")");
    } else {
        const qsizetype end = p.standardOutput.indexOf('\n');
        QByteArray first = end < 0 ? p.standardOutput : p.standardOutput.left(end);
        if (first.endsWith('\r'))
            first.chop(1);
        if (first.isEmpty()) {
            result.failure = PasswordCommandText::NoOutput + QString::number(p.exitCode) + QStringLiteral(")");
        } else {
            result.ok = true;
            result.secret = QString::fromUtf8(first);
        }
    }
    return result;
}

} // namespace PasswordCommand
