#include "download/readlist.h"

#include "core/apppaths.h"
#include "core/atomicfile.h"
#include "core/cp932.h"
#include "core/datetext.h"
#include "core/pathutil.h"
#include "core/settings.h"
#include "core/token.h"

#include <QFile>

namespace {

// A stored field reads back as a date-time when it is one, else as the text itself.
QVariant dateOrText(const QString &field)
{
    if (const auto dt = parseDateTime(field))
        return *dt;
    return field;
}

} // namespace

QString ReadList::textOf(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDateTime)
        return formatGeneral(value.toDateTime());
    return value.toString();
}

QString ReadList::filePath()
{
    return AppPaths::inProgramFolder(QStringLiteral("Kivrel.dat"));
}

bool ReadList::presentInSaveFolders(const QString &fileName)
{
    for (const QString &folder : Settings.SaveFolder) {
        if (FileExists(folder, fileName))
            return true;
    }
    return false;
}

int ReadList::find(const QString &uid) const
{
    if (!m_indexValid) {
        m_index.clear();
        m_index.reserve(m_entries.size());
        for (int i = 0; i < m_entries.size(); ++i) {
            const QString key = m_entries[i].Uid.toCaseFolded();
            if (!m_index.contains(key)) // the first of two equal ids is the one used
                m_index.insert(key, i);
        }
        m_indexValid = true;
    }
    return m_index.value(uid.toCaseFolded(), -1);
}

void ReadList::PutReadEntry(const QVariant &handledTime, const QVariant &mailDate, const QString &fileName,
                            const QString &uid, const QString &description)
{
    int i = find(uid);
    if (i < 0) {
        m_entries.append(ReadEntry{});
        i = static_cast<int>(m_entries.size()) - 1;
        if (m_indexValid)
            m_index.insert(uid.toCaseFolded(), i);
    }
    ReadEntry &e = m_entries[i];
    e.HandledTime = handledTime;
    e.MailDate = mailDate;
    e.FileName = fileName;
    e.Uid = uid;
    e.Description = description;
    e.FilePresent = presentInSaveFolders(fileName);
}

void ReadList::LoadReadList()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return; // a missing or unreadable list leaves what is in memory
    const QString text = Cp932::decode(file.readAll());

    QList<ReadEntry> loaded;
    Token token;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        // Runs of TABs count as one separator, as the splitter makes them.
        token.Init(line.toString(), QStringLiteral("\t\r\n"));
        if (token.FieldsCount() < 4)
            continue;
        ReadEntry e;
        e.HandledTime = dateOrText(token.Fields(1));
        e.MailDate = dateOrText(token.Fields(2));
        e.FileName = token.Fields(3);
        e.Uid = token.Fields(4);
        e.Description = token.Fields(5);
        e.FilePresent = presentInSaveFolders(e.FileName);
        loaded.append(std::move(e));
    }
    m_entries = std::move(loaded);
    m_indexValid = false;
}

bool ReadList::SaveReadList()
{
    QString text;
    for (const ReadEntry &e : std::as_const(m_entries)) {
        if (e.Removed)
            continue;
        text += textOf(e.HandledTime) + u'\t' + textOf(e.MailDate) + u'\t' + e.FileName + u'\t' + e.Uid + u'\t' +
                e.Description + QStringLiteral("\r\n");
    }
    // Replaced as a whole: a crash leaves the old list or the new one, never half of it.
    return writeFileAtomically(filePath(), Cp932::encode(text));
}
