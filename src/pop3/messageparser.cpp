#include "pop3/messageparser.h"

#include "core/cp932.h"
#include "pop3/jis.h"

#include <cstring>

namespace {

const QByteArray Crlf = QByteArrayLiteral("\r\n");
const QByteArray LogStatusLine = QByteArrayLiteral("+OK \r\n");
const QByteArray Terminator = QByteArrayLiteral("\r\n.\r\n");

// The component's line splitter over CR LF: a text that ends with CR LF gives
// no empty last line, an empty text gives no lines.
class LineSplitter
{
public:
    explicit LineSplitter(QByteArrayView source) : m_src(source) {}
    bool atEnd() const { return m_pos >= m_src.size(); }
    qsizetype position() const { return m_pos; }
    void moveToEnd() { m_pos = m_src.size(); }
    // The next line; `terminated` tells whether a CR LF followed it.
    QByteArrayView next(bool *terminated)
    {
        const char *s = m_src.data();
        const qsizetype n = m_src.size();
        qsizetype from = m_pos;
        while (from < n) {
            const void *cr = std::memchr(s + from, '\r', size_t(n - from));
            if (!cr)
                break;
            const qsizetype p = static_cast<const char *>(cr) - s;
            if (p + 1 < n && s[p + 1] == '\n') {
                const QByteArrayView line = m_src.sliced(m_pos, p - m_pos);
                m_pos = p + 2;
                *terminated = true;
                return line;
            }
            from = p + 1;
        }
        const QByteArrayView line = m_src.sliced(m_pos);
        m_pos = n;
        *terminated = false;
        return line;
    }

private:
    QByteArrayView m_src;
    qsizetype m_pos = 0;
};

char asciiLower(char c);

bool startsWith(QByteArrayView line, QByteArrayView prefix, bool exact)
{
    if (line.size() < prefix.size())
        return false;
    return exact ? std::memcmp(line.data(), prefix.data(), size_t(prefix.size())) == 0
                 : qstrnicmp(line.data(), prefix.data(), size_t(prefix.size())) == 0;
}

bool contains(QByteArrayView line, QByteArrayView needle, bool exact)
{
    if (exact)
        return line.indexOf(needle) >= 0;
    const qsizetype last = line.size() - needle.size();
    const char first = asciiLower(needle.front());
    for (qsizetype i = 0; i <= last; ++i) {
        if (asciiLower(line[i]) == first && qstrnicmp(line.data() + i, needle.data(), size_t(needle.size())) == 0)
            return true;
    }
    return false;
}

// Header values are small copies; a value in double quotes loses them.
QByteArray unquoted(QByteArrayView value)
{
    if (!value.isEmpty() && value.front() == '"' && value.back() == '"')
        return value.size() >= 2 ? value.sliced(1, value.size() - 2).toByteArray() : QByteArray();
    return value.toByteArray();
}

// The header names the parse looks for, in the two spellings.
struct Names {
    QByteArrayView date, from, to, subject, multipart, octetStream, description, encoding;
};
constexpr Names ReplyNames{"date: ",
                           "from: ",
                           "to: ",
                           "subject: ",
                           "content-type: multipart/mixed; boundary=",
                           "content-type: application/octet-stream; name=",
                           "content-description: ",
                           "content-transfer-encoding: "};
constexpr Names ExactNames{"Date: ",
                           "From: ",
                           "To: ",
                           "Subject: ",
                           "Content-type: multipart/mixed; boundary=",
                           "Content-Type: application/octet-stream; name=",
                           "Content-Description: ",
                           "Content-Transfer-Encoding: "};

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// --- Date header ---

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool readNumber(QByteArrayView text, int *value)
{
    if (text.isEmpty() || text.size() > 4)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

int monthNumber(QByteArrayView word)
{
    static const char Months[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (word.size() < 3)
        return 0;
    for (int m = 0; m < 12; ++m) {
        if (qstrnicmp(word.data(), Months + 3 * m, 3) == 0)
            return m + 1;
    }
    return 0;
}

// "hh:mm" or "hh:mm:ss"; a leap second reads as 59.
bool readTime(QByteArrayView text, QTime *time)
{
    int parts[3] = {0, 0, 0};
    int count = 0;
    qsizetype from = 0;
    while (count < 3) {
        qsizetype colon = text.indexOf(':', from);
        const qsizetype end = colon < 0 ? text.size() : colon;
        const QByteArrayView piece = text.sliced(from, end - from);
        if (piece.size() > 2 || !readNumber(piece, &parts[count]))
            return false;
        ++count;
        if (colon < 0)
            break;
        from = colon + 1;
        if (count == 3)
            return false; // a fourth part
    }
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 60)
        return false;
    *time = QTime(parts[0], parts[1], qMin(parts[2], 59));
    return true;
}

} // namespace

QDateTime MessageParser::parseMailDate(QByteArrayView value)
{
    // The weekday and its comma ("Mon, "). Written without a weekday, the value
    // starts with the day and nothing is dropped.
    qsizetype i = 0;
    while (i < value.size() && isSpace(value[i]))
        ++i;
    if (i < value.size() && isAsciiLetter(value[i])) {
        while (i < value.size() && isAsciiLetter(value[i]))
            ++i;
        if (i < value.size() && value[i] == ',')
            ++i;
    }
    QByteArrayView rest = value.sliced(i);
    const qsizetype plus = rest.indexOf('+');
    if (plus >= 0)
        rest = rest.first(plus);

    // Day, month, year and time, separated by blanks; what follows the time (a
    // "-hhmm" zone, a zone name) is not needed: the time stays as written.
    QByteArrayView words[4];
    int count = 0;
    qsizetype p = 0;
    while (count < 4) {
        while (p < rest.size() && isSpace(rest[p]))
            ++p;
        if (p >= rest.size())
            break;
        const qsizetype start = p;
        while (p < rest.size() && !isSpace(rest[p]))
            ++p;
        words[count++] = rest.sliced(start, p - start);
    }
    int day = 0, year = 0;
    const int month = count >= 2 ? monthNumber(words[1]) : 0;
    if (count < 3 || words[0].size() > 2 || !readNumber(words[0], &day) || month == 0 || !readNumber(words[2], &year))
        return {};
    if (words[2].size() == 2)
        year += year < 50 ? 2000 : 1900;
    else if (words[2].size() == 3)
        year += 1900;
    const QDate date(year, month, day);
    QTime time(0, 0);
    if (!date.isValid() || (count == 4 && !readTime(words[3], &time)))
        return {};
    return QDateTime(date, time);
}

bool MessageParser::parse(const QByteArray &text, Mode mode)
{
    m_date = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    m_from.clear();
    m_to.clear();
    m_subject.clear();
    m_boundary.clear();
    m_body.clear();
    m_fileName.clear();
    m_text = text;
    m_logHead.clear();
    m_logTail = 0;
    m_logSkip = 0;
    m_logConverted = false;
    m_attachStart = m_attachLength = 0;
    m_stoppedEarly = false;
    m_boundSearch = {};

    const bool exact = mode == Mode::Exact;
    const Names &names = exact ? ExactNames : ReplyNames;
    const QByteArrayView source(m_text);
    LineSplitter lines(source);

    // The body is a run of whole lines of the text, so it is taken in one piece
    // when the first part ends.
    qsizetype bodyBegin = -1, bodyEnd = -1;
    bool bodyLastTerminated = true;
    auto takeBody = [&] {
        if (bodyBegin < 0)
            return;
        m_body = source.sliced(bodyBegin, bodyEnd - bodyBegin).toByteArray();
        if (!bodyLastTerminated)
            m_body += Crlf;
        bodyBegin = -1;
    };

    int state = 0;
    while (!lines.atEnd()) {
        const qsizetype lineStart = lines.position();
        bool terminated = false;
        const QByteArrayView line = lines.next(&terminated);
        switch (state) {
        case 0:
            if (startsWith(line, names.date, exact)) {
                const QDateTime date = parseMailDate(line.sliced(names.date.size()));
                if (!date.isValid()) {
                    m_stoppedEarly = true;
                    return !m_subject.isEmpty() && !m_body.isEmpty();
                }
                m_date = date;
            } else if (startsWith(line, names.from, exact)) {
                m_from = line.sliced(names.from.size()).toByteArray();
            } else if (startsWith(line, names.to, exact)) {
                m_to = line.sliced(names.to.size()).toByteArray();
            } else if (startsWith(line, names.subject, exact)) {
                m_subject = line.sliced(names.subject.size()).toByteArray();
            } else if (contains(line, names.multipart, exact)) {
                // Counted from the start of the line, wherever the name was found.
                m_boundary = unquoted(line.sliced(names.multipart.size()));
            } else if (exact ? (line.size() == m_boundary.size() + 2 && line.startsWith("--") &&
                                line.sliced(2) == QByteArrayView(m_boundary))
                             : line.isEmpty()) {
                state = 1;
            }
            break;
        case 1:
            if (line.isEmpty())
                state = 2;
            break;
        case 2:
            if (line.size() == m_boundary.size() + 2 && line.startsWith("--") &&
                line.sliced(2) == QByteArrayView(m_boundary)) {
                takeBody();
                state = 3;
                if (exact) {
                    bool ok = true;
                    m_body = JisToShiftJis(std::move(m_body), &ok);
                    if (!ok) {
                        m_stoppedEarly = true;
                        return !m_subject.isEmpty() && !m_body.isEmpty();
                    }
                }
            } else {
                if (bodyBegin < 0)
                    bodyBegin = lineStart;
                bodyEnd = lineStart + line.size() + (terminated ? 2 : 0);
                bodyLastTerminated = terminated;
            }
            break;
        case 3:
            if (contains(line, names.octetStream, exact))
                m_fileName = unquoted(line.sliced(qMin(line.size(), names.octetStream.size())));
            if (startsWith(line, names.description, exact))
                m_fileName = line.sliced(names.description.size()).toByteArray();
            if (startsWith(line, names.encoding, exact))
                m_transferEncoding = line.sliced(names.encoding.size()).toByteArray();
            if (line.isEmpty())
                state = 4;
            break;
        case 4:
            if (line.size() == m_boundary.size() + 4 && line.startsWith("--") && line.endsWith("--") &&
                line.sliced(2, m_boundary.size()) == QByteArrayView(m_boundary)) {
                state = 5;
                break;
            }
            // The rest of the text in one piece; the decoder splits it.
            m_attachStart = lineStart;
            m_attachLength = source.size() - lineStart;
            if (source.sliced(m_attachStart).endsWith(Terminator))
                m_attachLength -= Terminator.size();
            lines.moveToEnd();
            break;
        default:
            break;
        }
    }
    takeBody();

    if (m_subject.isEmpty() || m_body.isEmpty())
        return false;
    if (!exact) {
        for (QByteArray *field : {&m_subject, &m_body, &m_from}) {
            bool ok = true;
            *field = JisToShiftJis(std::move(*field), &ok);
            if (!ok) {
                m_stoppedEarly = true;
                break;
            }
        }
    }
    return true;
}

QString MessageParser::from() const
{
    return Cp932::decode(m_from);
}

QString MessageParser::to() const
{
    return Cp932::decode(m_to);
}

QString MessageParser::subject() const
{
    return Cp932::decode(m_subject);
}

QString MessageParser::body() const
{
    return Cp932::decode(m_body);
}

QString MessageParser::fileName() const
{
    return Cp932::decode(m_fileName);
}

QByteArrayView MessageParser::attachmentText() const
{
    return QByteArrayView(m_text).sliced(m_attachStart, m_attachLength);
}

MessageParser::LogPieces MessageParser::logText() const
{
    QByteArrayView head(m_logHead);
    QByteArrayView tail = QByteArrayView(m_text).sliced(m_logTail);
    const qsizetype fromHead = qMin(m_logSkip, head.size());
    return {head.sliced(fromHead), tail.sliced(m_logSkip - fromHead)};
}

MessageParser::LogPieces MessageParser::convertLogText()
{
    if (!m_logConverted) {
        m_logConverted = true;
        m_logHead = JisToShiftJisHead(m_text, &m_logTail);
    }
    const LogPieces text = logText();
    if (text.size() >= LogStatusLine.size()) {
        QByteArray start = text.head.first(qMin(text.head.size(), LogStatusLine.size())).toByteArray();
        start += text.tail.first(LogStatusLine.size() - start.size());
        if (start == LogStatusLine)
            m_logSkip += LogStatusLine.size();
    }
    return logText();
}

bool MessageParser::boundComplete(QByteArrayView buffer) const
{
    return AttachmentDecoder::BoundComplete(buffer, m_boundary, &m_boundSearch);
}
