#pragma once

// A scriptable stand-in for NetworkManager's nmcli, put first on PATH for the
// life of the object. The script answers from files in its folder:
//   entries  what "nmcli -t -f NAME,TYPE connection show" prints
//   active   what "nmcli -t -f NAME connection show --active" prints
//   up       ok | fail | hang   (how "connection up" behaves)
//   list     ok | hang          (how the listing commands behave)
// Every call is logged to "calls", one line per call, arguments separated by
// tabs. A successful "up" adds the name to "active" (escaped as nmcli does);
// a hung command leaves the pid of its child in "hung.pid".

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <signal.h>

class FakeNmcli
{
public:
    FakeNmcli()
    {
        m_oldPath = qgetenv("PATH");
        write(QStringLiteral("nmcli"), QByteArray(R"SH(#!/bin/sh
d=$(dirname "$0")
{ printf 'CALL'; for a in "$@"; do printf '\t%s' "$a"; done; printf '\n'; } >> "$d/calls"
hang() { sleep 600 & echo $! > "$d/hung.pid"; wait; }
if [ "$1" = "-t" ]; then
  [ "$(cat "$d/list")" = hang ] && hang
  case "$*" in
    "-t -f NAME,TYPE connection show") cat "$d/entries"; exit 0;;
    "-t -f NAME connection show --active") cat "$d/active"; exit 0;;
  esac
fi
if [ "$1" = connection ] && [ "$2" = up ] && [ "$3" = id ] && [ $# -eq 4 ]; then
  case "$(cat "$d/up")" in
    ok) printf '%s\n' "$4" | sed 's/[\\:]/\\&/g' >> "$d/active"; exit 0;;
    hang) hang;;
  esac
  echo "Error: Connection activation failed: no carrier." >&2
  exit 4
fi
if [ "$1" = connection ] && [ "$2" = down ] && [ "$3" = id ] && [ $# -eq 4 ]; then
  exit 0
fi
echo "Error: unexpected call." >&2
exit 2
)SH"));
        QFile::setPermissions(file(QStringLiteral("nmcli")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setEntries({});
        setActive({});
        setUp("ok");
        setList("ok");
        write(QStringLiteral("calls"), {});
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + m_oldPath);
    }
    ~FakeNmcli()
    {
        qputenv("PATH", m_oldPath);
        const qint64 pid = hungPid();
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    FakeNmcli(const FakeNmcli &) = delete;
    FakeNmcli &operator=(const FakeNmcli &) = delete;

    // Lines exactly as nmcli -t prints them (escaping included).
    void setEntries(const QStringList &lines) { write(QStringLiteral("entries"), joined(lines)); }
    void setActive(const QStringList &lines) { write(QStringLiteral("active"), joined(lines)); }
    void setUp(const char *mode) { write(QStringLiteral("up"), QByteArray(mode) + '\n'); }
    void setList(const char *mode) { write(QStringLiteral("list"), QByteArray(mode) + '\n'); }

    // Every call so far, each as its argument list.
    QList<QStringList> calls() const
    {
        QList<QStringList> result;
        const QStringList lines = QString::fromUtf8(read(QStringLiteral("calls"))).split('\n', Qt::SkipEmptyParts);
        for (const QString &line : lines)
            result << line.split('\t').mid(1);
        return result;
    }
    qint64 hungPid() const { return read(QStringLiteral("hung.pid")).trimmed().toLongLong(); }
    // True once the hung command's child has ended (a zombie counts as ended).
    bool hungChildGone() const
    {
        const qint64 pid = hungPid();
        if (pid <= 0)
            return false;
        if (::kill(static_cast<pid_t>(pid), 0) != 0)
            return errno == ESRCH;
        const QByteArray stat = readPath(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype close = stat.lastIndexOf(')');
        return close < 0 || stat.mid(close + 2, 1) == "Z";
    }
    QString path() const { return m_dir.path(); }

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray joined(const QStringList &lines)
    {
        QByteArray out;
        for (const QString &line : lines)
            out += line.toUtf8() + '\n';
        return out;
    }
    void write(const QString &name, const QByteArray &data) const
    {
        QFile f(file(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(data);
    }
    QByteArray read(const QString &name) const { return readPath(file(name)); }
    static QByteArray readPath(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

// PATH without any nmcli, for the life of the object.
class NoNmcli
{
public:
    NoNmcli() : m_oldPath(qgetenv("PATH")) { qputenv("PATH", m_dir.path().toLocal8Bit()); }
    ~NoNmcli() { qputenv("PATH", m_oldPath); }
    NoNmcli(const NoNmcli &) = delete;
    NoNmcli &operator=(const NoNmcli &) = delete;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
