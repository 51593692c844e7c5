#pragma once

#include <QIcon>
#include <QString>

// The program's own pictures (icons.qrc, prefix "/icons"). The resources live
// in the ui library, which is static: nothing would pull them into the program
// unless something calls into them, so every window takes its icons from here.
namespace IconResources {
// Registers the resources once; safe to call any number of times.
void ensureLoaded();
// ":/icons/<name>" as an icon, e.g. icon("download.svg").
QIcon icon(const QString &name);
} // namespace IconResources
