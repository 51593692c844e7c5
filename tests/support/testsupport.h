#pragma once

#include <QString>
#include <QTemporaryDir>

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

// A disk that fills up: while alive, files of this process cannot grow past
// `bytes` (writes beyond fail with EFBIG instead of raising SIGXFSZ).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(unsigned long long bytes);
    ~FileSizeLimit();
    bool active() const { return m_active; }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    unsigned long long m_oldCur = 0;
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};
