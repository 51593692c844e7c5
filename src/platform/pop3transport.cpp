#include "platform/pop3transport.h"

Pop3Transport::Security Pop3Transport::securityFromText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0)
        return Security::StartTls;
    if (t.compare(QLatin1String("TLS"), Qt::CaseInsensitive) == 0)
        return Security::Tls;
    return Security::None;
}

QString Pop3Transport::securityText(Security security)
{
    switch (security) {
    case Security::StartTls:
        return QStringLiteral("STARTTLS");
    case Security::Tls:
        return QStringLiteral("TLS");
    case Security::None:
        break;
    }
    return QStringLiteral("None");
}
