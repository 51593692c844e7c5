#include "ui/iconresources.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

void IconResources::ensureLoaded()
{
    static const bool loaded = [] {
        initIconResources();
        return true;
    }();
    (void)loaded;
}

QIcon IconResources::icon(const QString &name)
{
    ensureLoaded();
    return QIcon(QStringLiteral(":/icons/") + name);
}
