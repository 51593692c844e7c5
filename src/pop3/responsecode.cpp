#include "pop3/responsecode.h"

namespace ResponseCode {

namespace {
constexpr qsizetype MaxServerText = 200;

struct Known {
    const char *name;
    Code code;
};
constexpr Known Codes[] = {{"IN-USE", Code::InUse},     {"LOGIN-DELAY", Code::LoginDelay},
                           {"SYS/TEMP", Code::SysTemp}, {"SYS/PERM", Code::SysPerm},
                           {"AUTH", Code::Auth}};
} // namespace

Code parse(QByteArrayView reply)
{
    if (!reply.startsWith("-ERR "))
        return Code::None;
    QByteArrayView rest = reply.sliced(5);
    if (!rest.startsWith('['))
        return Code::None;
    const qsizetype close = rest.indexOf(']');
    const qsizetype lineEnd = rest.indexOf('\r');
    if (close < 0 || (lineEnd >= 0 && close > lineEnd))
        return Code::None;
    const QByteArray code = rest.sliced(1, close - 1).toByteArray().toUpper();
    for (const Known &k : Codes) {
        const QByteArrayView name(k.name);
        if (code == name || (code.startsWith(name) && code.at(name.size()) == '/'))
            return k.code;
    }
    return Code::None;
}

bool busy(Code code)
{
    return code == Code::InUse || code == Code::LoginDelay || code == Code::SysTemp;
}

QString loginFailureText(Code code)
{
    switch (code) {
    case Code::InUse:
        return ResponseCodeText::InUse;
    case Code::LoginDelay:
        return ResponseCodeText::LoginDelay;
    case Code::SysTemp:
        return ResponseCodeText::SysTemp;
    case Code::SysPerm:
        return ResponseCodeText::SysPerm;
    case Code::Auth:
        return ResponseCodeText::Auth;
    case Code::None:
        break;
    }
    return ResponseCodeText::LoginFailed;
}

QString serverText(QByteArrayView reply)
{
    qsizetype end = reply.indexOf('\r');
    const qsizetype lf = reply.indexOf('\n');
    if (end < 0 || (lf >= 0 && lf < end))
        end = lf;
    QByteArrayView line = end < 0 ? reply : reply.first(end);
    if (line.size() > MaxServerText)
        line = line.first(MaxServerText);
    QString text;
    text.reserve(line.size());
    for (const char c : line)
        text.append(c >= 0x20 && c < 0x7f ? QLatin1Char(c) : QLatin1Char('?'));
    return text.trimmed();
}

} // namespace ResponseCode
