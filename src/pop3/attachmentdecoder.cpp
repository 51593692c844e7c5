#include "pop3/attachmentdecoder.h"

#include <QFile>

#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxLineBytes = 81; // a line of up to 108 characters
constexpr qsizetype FullLineChars = 76;
constexpr qsizetype FullLineBytes = 57;
constexpr qsizetype OutputBufferSize = qsizetype(1) << 20;

constexpr int sextet(int c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// One table per position in a group. OR-ing the four entries gives the group's
// three bytes in bits 0-7, 8-15 and 16-23; a character outside the alphabet
// ("=" included, which the exact rules handle) sets a bit above them.
constexpr quint32 BadGroup = 0xFF000000u;
struct GroupTables {
    quint32 t[4][256];
};
constexpr GroupTables makeGroupTables()
{
    GroupTables x{};
    for (int c = 0; c < 256; ++c) {
        const int v = sextet(c);
        if (v < 0) {
            for (auto &table : x.t)
                table[c] = BadGroup;
            continue;
        }
        const quint32 u = quint32(v);
        x.t[0][c] = u << 2;
        x.t[1][c] = (u >> 4) | ((u & 0xF) << 12);
        x.t[2][c] = ((u >> 2) << 8) | ((u & 0x3) << 22);
        x.t[3][c] = u << 16;
    }
    return x;
}
constexpr GroupTables Tables = makeGroupTables();

inline quint32 decodeGroup(const uchar *s)
{
    return Tables.t[0][s[0]] | Tables.t[1][s[1]] | Tables.t[2][s[2]] | Tables.t[3][s[3]];
}

// Stores the group's three bytes; may write one byte more, which the next group
// overwrites (the buffers leave room for it).
inline void storeGroup(uchar *out, quint32 w)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &w, 4);
    } else {
        out[0] = uchar(w);
        out[1] = uchar(w >> 8);
        out[2] = uchar(w >> 16);
    }
}

// Collects decoded bytes and writes them in large pieces: the file's content is
// the same as with one write per line.
class FileSink
{
public:
    explicit FileSink(int fd) : m_fd(fd), m_buf(new uchar[OutputBufferSize + 128]) {}
    // Room for `n` more bytes (n is small), or nullptr after a write error.
    uchar *room(qsizetype n)
    {
        if (m_used + n > OutputBufferSize && !flush())
            return nullptr;
        return m_buf.get() + m_used;
    }
    void commit(qsizetype n) { m_used += n; }
    bool flush()
    {
        qsizetype done = 0;
        while (done < m_used) {
            const ssize_t w = ::write(m_fd, m_buf.get() + done, size_t(m_used - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                m_errno = errno;
                return false;
            }
            done += w;
        }
        m_used = 0;
        return true;
    }
    int error() const { return m_errno; }

private:
    int m_fd;
    std::unique_ptr<uchar[]> m_buf;
    qsizetype m_used = 0;
    int m_errno = 0;
};

enum class Outcome {
    Done,
    LineTooLong,
    IncompleteGroup,
    InvalidCharacter,
    MisplacedPadding,
    DataAfterPadding,
    WriteFailed
};

inline bool outsideAlphabet(uchar c)
{
    return Tables.t[0][c] & BadGroup;
}

// A group of four the tables refused: an outside character, padding in the
// wrong place, or a proper end of the data ("xx==", "xxx=") whose 1 or 2 bytes
// go to out.
Outcome paddedGroup(const uchar *s, uchar *out, qsizetype *bytes)
{
    for (int i = 0; i < 4; ++i) {
        if (s[i] != '=' && outsideAlphabet(s[i]))
            return Outcome::InvalidCharacter;
    }
    if (s[0] == '=' || s[1] == '=' || (s[2] == '=' && s[3] != '='))
        return Outcome::MisplacedPadding;
    uchar quad[3];
    *bytes = AttachmentDecoder::DecodeBase64Quad(QByteArrayView(reinterpret_cast<const char *>(s), 4), quad);
    std::memcpy(out, quad, 3);
    return Outcome::Done;
}

// One line that is not blank, without its line end and trailing blanks: whole
// groups of characters of the alphabet, the last of which may end in padding
// (then *padded is set: the data ends there).
Outcome decodeLine(const uchar *s, qsizetype len, uchar *out, qsizetype *count, bool *padded)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < len; i += 4) {
        if (len - i < 4) {
            for (qsizetype k = i; k < len; ++k) {
                if (s[k] != '=' && outsideAlphabet(s[k]))
                    return Outcome::InvalidCharacter;
            }
            return Outcome::IncompleteGroup;
        }
        const quint32 w = decodeGroup(s + i);
        qsizetype bytes = 3;
        if (w & BadGroup) {
            const Outcome why = paddedGroup(s + i, out + n, &bytes);
            if (why != Outcome::Done)
                return why;
        } else {
            storeGroup(out + n, w);
        }
        if (n + bytes > MaxLineBytes)
            return Outcome::LineTooLong;
        n += bytes;
        if (bytes < 3) {
            if (i + 4 < len)
                return Outcome::DataAfterPadding;
            *padded = true;
        }
    }
    *count = n;
    return Outcome::Done;
}

// The line from `start` without its line end (LF, or CR LF) and trailing
// blanks, and where the next line starts.
struct Line {
    QByteArrayView text;
    qsizetype next;
};
Line lineAt(QByteArrayView text, qsizetype start)
{
    const uchar *s = reinterpret_cast<const uchar *>(text.data());
    const void *lf = std::memchr(s + start, '\n', size_t(text.size() - start));
    qsizetype end = lf ? static_cast<const uchar *>(lf) - s : text.size();
    const qsizetype next = lf ? end + 1 : text.size();
    if (end > start && s[end - 1] == '\r')
        --end;
    while (end > start && (s[end - 1] == ' ' || s[end - 1] == '\t'))
        --end;
    return {text.sliced(start, end - start), next};
}

// After the padding only blank lines may come before the delimiter line.
Outcome afterPadding(QByteArrayView text, qsizetype pos, QByteArrayView delimiter)
{
    while (pos < text.size()) {
        const Line line = lineAt(text, pos);
        if (!line.text.isEmpty())
            return line.text.startsWith(delimiter) ? Outcome::Done : Outcome::DataAfterPadding;
        pos = line.next;
    }
    return Outcome::Done;
}

// Any line but a plain full one, group by group; `last` when it ends the transfer.
struct Step {
    Outcome outcome;
    bool last;
    qsizetype next;
};
[[gnu::noinline]] Step otherLine(QByteArrayView text, qsizetype pos, QByteArrayView delimiter, FileSink &sink)
{
    const Line line = lineAt(text, pos);
    if (line.text.isEmpty())
        return {Outcome::Done, false, line.next};
    if (line.text.startsWith(delimiter))
        return {Outcome::Done, true, line.next};
    uchar *out = sink.room(MaxLineBytes + 4);
    if (!out)
        return {Outcome::WriteFailed, true, line.next};
    qsizetype count = 0;
    bool padded = false;
    const Outcome why =
        decodeLine(reinterpret_cast<const uchar *>(line.text.data()), line.text.size(), out, &count, &padded);
    if (why != Outcome::Done)
        return {why, true, line.next};
    sink.commit(count);
    if (padded)
        return {afterPadding(text, line.next, delimiter), true, line.next};
    return {Outcome::Done, false, line.next};
}

// The attachment runs up to the first delimiter line of its multipart
// ("--" + boundary, closing or not) or the end of the text.
Outcome decodeAll(QByteArrayView text, QByteArrayView boundary, FileSink &sink)
{
    const QByteArray delimiter = "--" + boundary.toByteArray();
    const uchar *s = reinterpret_cast<const uchar *>(text.data());
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        // The usual lines: 76 characters of the alphabet and CR LF, 57 bytes.
        while (n - pos >= FullLineChars + 2 && s[pos + FullLineChars] == '\r' && s[pos + FullLineChars + 1] == '\n') {
            uchar *out = sink.room(FullLineBytes + 1);
            if (!out)
                return Outcome::WriteFailed;
            quint32 bad = 0;
            for (qsizetype g = 0; g < FullLineChars / 4; ++g) {
                const quint32 w = decodeGroup(s + pos + 4 * g);
                bad |= w;
                storeGroup(out + 3 * g, w);
            }
            if (bad & BadGroup)
                break;
            sink.commit(FullLineBytes);
            pos += FullLineChars + 2;
        }
        if (pos == n)
            break;
        const Step step = otherLine(text, pos, delimiter, sink);
        if (step.last)
            return step.outcome;
        pos = step.next;
    }
    return Outcome::Done;
}

QString describeErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return TransferText::PathNotFound;
    case EACCES:
    case EPERM:
        return TransferText::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return TransferText::DiskFull;
    case EROFS:
        return TransferText::ReadOnlyDisk;
    case EIO:
        return TransferText::IoError;
    case ENAMETOOLONG:
        return TransferText::NameTooLong;
    case EISDIR:
        return TransferText::IsFolder;
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

qint16 AttachmentDecoder::DecodeBase64Quad(QByteArrayView group, uchar out[3])
{
    int a = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        if (i >= group.size())
            return QuadIncomplete;
        const uchar c = uchar(group[i]);
        int v = 0;
        qint16 padding = 0;
        if (c == '=') {
            if (i < 2)
                return QuadInvalid;
            padding = i == 2 ? 1 : 2;
        } else {
            v = sextet(c);
            if (v < 0)
                return QuadInvalid;
        }
        switch (i) {
        case 0:
            a = v * 64;
            break;
        case 1: {
            const int d = a + v;
            out[0] = uchar(d / 16);
            a = (d % 16) * 64;
            break;
        }
        case 2: {
            const int d = a + v;
            out[1] = uchar(d / 4);
            a = (d % 4) * 64;
            break;
        }
        default:
            out[2] = uchar(a + v);
            break;
        }
        if (padding)
            return padding;
    }
    return 0;
}

bool AttachmentDecoder::writesFile(QByteArrayView transferEncoding)
{
    return transferEncoding == QByteArrayView("base64");
}

bool AttachmentDecoder::TransferToFile(QByteArrayView attachment, QByteArrayView boundary,
                                       QByteArrayView transferEncoding, const QString &path, QString *errorMessage,
                                       const FileCheck &check)
{
    auto fail = [&](const QString &description) {
        *errorMessage = TransferText::ErrorPrefix + description + QLatin1Char('(') + path + QLatin1Char(')');
        return false;
    };
    if (!writesFile(transferEncoding)) {
        errorMessage->clear();
        return true;
    }

    // A file that could not be opened for writing is not replaced either.
    const QByteArray target = QFile::encodeName(path);
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return fail(TransferText::IsFolder);
    if (exists && ::access(target.constData(), W_OK) != 0)
        return fail(describeErrno(errno));

    ReplacingFile file(path);
    if (!file.open())
        return fail(describeErrno(errno));
    FileSink sink(file.fd());
    switch (decodeAll(attachment, boundary, sink)) {
    case Outcome::Done:
        if (!sink.flush())
            return fail(describeErrno(sink.error()));
        break;
    case Outcome::LineTooLong:
        return fail(TransferText::LineTooLong);
    case Outcome::IncompleteGroup:
        return fail(TransferText::IncompleteGroup);
    case Outcome::InvalidCharacter:
        return fail(TransferText::InvalidCharacter);
    case Outcome::MisplacedPadding:
        return fail(TransferText::MisplacedPadding);
    case Outcome::DataAfterPadding:
        return fail(TransferText::DataAfterPadding);
    case Outcome::WriteFailed:
        return fail(describeErrno(sink.error()));
    }
    // During a run the file reaches the disk at the run's next barrier.
    if (!file.finish())
        return fail(describeErrno(errno));
    if (check) {
        const QString why = check(file.temporaryPath());
        if (!why.isEmpty())
            return fail(why);
    }
    if (!file.commit())
        return fail(describeErrno(errno));
    errorMessage->clear();
    return true;
}

bool AttachmentDecoder::BoundComplete(QByteArrayView buffer, QByteArrayView boundary, SearchState *state)
{
    const QByteArray needle = "--" + boundary.toByteArray() + "--";
    qsizetype from = 0;
    if (state) {
        const qsizetype searched = state->searched;
        const qsizetype keep = state->before.size();
        if (searched <= buffer.size() && searched >= keep &&
            buffer.sliced(searched - keep, keep) == QByteArrayView(state->before))
            from = qMax<qsizetype>(0, searched - (needle.size() - 1));
    }
    if (buffer.sliced(from).indexOf(needle) >= 0)
        return true;
    if (state) {
        state->searched = buffer.size();
        state->before = buffer.last(qMin<qsizetype>(buffer.size(), 32)).toByteArray();
    }
    return false;
}
