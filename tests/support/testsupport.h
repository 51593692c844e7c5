#pragma once

#include <QTemporaryDir>
#include <QString>

// A fresh program folder for one test: sets KIVREL_HOME to a temporary folder
// and restores the previous value when it goes out of scope.
class TempProgramFolder
{
public:
    TempProgramFolder();
    ~TempProgramFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};
