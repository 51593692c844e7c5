#include "download/logintest.h"

#include "download/passwordcommand.h"
#include "pop3/apop.h"

namespace LoginTest {

Outcome run(const Account &account, aPOP &pop)
{
    QString secret = account.password;
    if (!account.passwordCommand.trimmed().isEmpty()) {
        const PasswordCommand::Result r = PasswordCommand::run(account.passwordCommand);
        if (!r.ok)
            return {false, LoginTestText::Failed + r.failure};
        secret = r.secret;
    }
    pop.setPort(account.port);
    pop.setSecurity(account.security);
    pop.setAuthMethod(account.authMethod);
    pop.setPipeliningAllowed(false);
    if (!pop.ConnectByName(account.server))
        return {false, LoginTestText::Failed + pop.lastFailure()};
    if (!pop.Authorize(account.user, secret)) {
        pop.Destroy();
        return {false, LoginTestText::Failed + pop.lastFailure()};
    }
    (void)pop.QUIT();
    pop.Destroy();
    return {true, LoginTestText::Succeeded + pop.authMethodUsed()};
}

} // namespace LoginTest
