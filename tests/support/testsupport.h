#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

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

// Small file helpers shared by the tests of the list's commands and the window.
namespace TestFiles {
// The file's bytes; empty when it cannot be read.
QByteArray read(const QString &path);
// What readOrMissing gives for a file that cannot be read.
inline const QByteArray Missing = QByteArrayLiteral("<missing>");
// The file's bytes, or Missing: tells a missing file from an empty one.
QByteArray readOrMissing(const QString &path);
// Writes the bytes, creating the folder; false when it could not.
bool write(const QString &path, const QByteArray &bytes);
// A fresh program folder whose four save folders (save0 .. save3 in it) are
// set in a fresh Settings and created.
struct WithSaveFolders {
    TempProgramFolder home;
    WithSaveFolders();
    QString folder(int j) const { return home.file(QStringLiteral("save%1").arg(j)); }
};
// A test class whose every test function starts with fresh save folders.
class WithSaveFoldersTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<WithSaveFolders> m_home;
    QString folder(int j) const { return m_home->folder(j); }

private slots:
    void init() { m_home = std::make_unique<WithSaveFolders>(); }
    void cleanup() { m_home.reset(); }
};
// A data mail as the backup log keeps it (without its final "."), carrying
// one base64 attachment named `fileName`.
QByteArray loggedMail(const QString &fileName, const QByteArray &attachment);
// What ends each record of the backup log.
inline const QByteArray RecordEnd = QByteArrayLiteral("\r\n.\r\n");
} // namespace TestFiles

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

// Permissions that bind root too: while alive, the calling thread has lowered
// the capabilities that let root read and write past permission bits
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH); they are raised again at the end.
// Outside root it changes nothing. active(): permission bits now apply.
class PermissionsBind
{
public:
    PermissionsBind();
    ~PermissionsBind();
    bool active() const { return m_active; }
    PermissionsBind(const PermissionsBind &) = delete;
    PermissionsBind &operator=(const PermissionsBind &) = delete;

private:
    quint32 m_saved[2] = {0, 0}; // effective sets as they were
    bool m_lowered = false;
    bool m_active = false;
};
