#include "platform/secretstore.h"

#include "platform/keychainsecretstore.h"

namespace {
SecretStore *g_store = nullptr;
} // namespace

SecretStore &SecretStore::instance()
{
    static KeychainSecretStore desktop;
    return g_store ? *g_store : desktop;
}

namespace {
bool g_mayPrompt = false;
} // namespace

void SecretStore::setMayPrompt(bool mayPrompt)
{
    g_mayPrompt = mayPrompt;
}

bool SecretStore::mayPrompt()
{
    return g_mayPrompt;
}

void SecretStore::install(SecretStore *store)
{
    g_store = store;
}

QString SecretStore::reasonText(const Result &result)
{
    QString text;
    switch (result.status) {
    case Status::Ok:
        return QString();
    case Status::NotFound:
        text = QStringLiteral("ｷｰﾘﾝｸﾞにﾊﾟｽﾜｰﾄﾞが保存されていません");
        break;
    case Status::NoSessionBus:
        text = QStringLiteral("ｷｰﾘﾝｸﾞに接続できません(ｾｯｼｮﾝﾊﾞｽがありません)");
        break;
    case Status::NoService:
        text = QStringLiteral("ｷｰﾘﾝｸﾞが見つかりません(Secret Serviceが動いていません)");
        break;
    case Status::Locked:
        text = QStringLiteral("ｷｰﾘﾝｸﾞがﾛｯｸされています");
        break;
    case Status::Denied:
        text = QStringLiteral("ｷｰﾘﾝｸﾞへのｱｸｾｽが拒否されました");
        break;
    case Status::TimedOut:
        text = QStringLiteral("ｷｰﾘﾝｸﾞが応答しません");
        break;
    case Status::Failed:
        text = QStringLiteral("ｷｰﾘﾝｸﾞを使えませんでした");
        break;
    }
    if (!result.detail.isEmpty())
        text += QStringLiteral(" (") + result.detail + u')';
    return text;
}
