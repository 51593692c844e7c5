#include "pop3/authchoice.h"

namespace AuthChoice {

namespace {
// Challenge-response methods, strongest first. CRAM-MD5 goes before APOP:
// a server that names it in CAPA has a secret for it, while many show an
// APOP timestamp to every user. The -PLUS forms need the TLS channel's
// binding data, which the socket library does not give: never chosen.
const QStringList Strong = {QStringLiteral("SCRAM-SHA-256"), QStringLiteral("SCRAM-SHA-1"),
                            QStringLiteral("CRAM-MD5")};
const QStringList PlainText = {QStringLiteral("PLAIN"), QStringLiteral("LOGIN")};

bool offered(const Offer &offer, const QString &method)
{
    return offer.sasl.contains(method, Qt::CaseInsensitive);
}

Choice method(const QString &name, bool apopFallback = false)
{
    return Choice{name, QString(), apopFallback};
}

Choice refused(const QString &text)
{
    return Choice{QString(), text, false};
}
} // namespace

const QStringList &settingValues()
{
    static const QStringList values = {Auto,
                                       QStringLiteral("SCRAM-SHA-256"),
                                       QStringLiteral("SCRAM-SHA-256-PLUS"),
                                       QStringLiteral("SCRAM-SHA-1"),
                                       QStringLiteral("SCRAM-SHA-1-PLUS"),
                                       QStringLiteral("CRAM-MD5"),
                                       Apop,
                                       QStringLiteral("PLAIN"),
                                       QStringLiteral("LOGIN"),
                                       User,
                                       XOAuth2,
                                       OAuthBearer};
    return values;
}

QString canonical(const QString &setting)
{
    const QString text = setting.trimmed();
    if (text.isEmpty())
        return Auto;
    for (const QString &v : settingValues())
        if (v.compare(text, Qt::CaseInsensitive) == 0)
            return v;
    return text; // a name this program does not know: refused, never guessed
}

Choice choose(const QString &setting, const Offer &offer)
{
    const QString name = canonical(setting);
    if (name == User)
        return method(UserPass);
    if (name.endsWith(QStringLiteral("-PLUS")))
        return refused(AuthChoiceText::NoChannelBinding + name);
    if (!settingValues().contains(name))
        return refused(AuthChoiceText::Unknown + name);
    if (name == Apop)
        return offer.apop ? method(Apop) : refused(AuthChoiceText::NotOffered + name);
    if (name != Auto) {
        // Chosen by name: tried where the server names it, or names no SASL
        // methods at all (it may still know AUTH); never replaced by another.
        if (offer.sasl.isEmpty() || offered(offer, name))
            return method(name);
        return refused(AuthChoiceText::NotOffered + name);
    }

    for (const QString &m : Strong)
        if (offered(offer, m))
            return method(m);
    // USER/PASS wherever the server allows it: it did not answer CAPA, lists
    // USER, or offers no SASL method to use instead.
    bool saslPlain = false;
    for (const QString &m : PlainText)
        saslPlain = saslPlain || offered(offer, m);
    const bool userAllowed = !offer.capaAnswered || offer.user || !saslPlain;
    if (offer.apop)
        return method(Apop, userAllowed);
    if (userAllowed)
        return method(UserPass);
    for (const QString &m : PlainText)
        if (offered(offer, m))
            return method(m);
    return method(UserPass);
}

} // namespace AuthChoice
