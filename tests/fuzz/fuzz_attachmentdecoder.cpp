// Checks the decoder's file and failures against the rules written out plainly.
#include "pop3/attachmentdecoder.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// The rules written out plainly. Returns the description of the failure, or
// an empty text with the decoded bytes in *out.
QString plainDecode(const QByteArray &text, const QByteArray &boundary, QByteArray *out)
{
    static const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    bool ended = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        while (line.endsWith(' ') || line.endsWith('\t'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith("--" + boundary))
            break;
        if (ended)
            return TransferText::DataAfterPadding;
        QByteArray bytes;
        for (qsizetype i = 0; i < line.size(); i += 4) {
            const QByteArray group = line.mid(i, 4);
            for (const char c : group) {
                if (c != '=' && !alphabet.contains(c))
                    return TransferText::InvalidCharacter;
            }
            if (group.size() < 4)
                return TransferText::IncompleteGroup;
            int n = 3;
            if (group.indexOf('=') >= 0) {
                if (group.endsWith("==") && group.count('=') == 2)
                    n = 1;
                else if (group.endsWith('=') && group.count('=') == 1)
                    n = 2;
                else
                    return TransferText::MisplacedPadding;
            }
            quint32 bits = 0;
            for (const char c : group)
                bits = bits << 6 | quint32(c == '=' ? 0 : alphabet.indexOf(c));
            if (bytes.size() + n > 81)
                return TransferText::LineTooLong;
            for (int k = 0; k < n; ++k)
                bytes.append(char(bits >> (16 - 8 * k)));
            if (n < 3) {
                if (i + 4 < line.size())
                    return TransferText::DataAfterPadding;
                ended = true;
            }
        }
        *out += bytes;
    }
    return QString();
}

QString folder()
{
    static const QString path = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString dir = base + QStringLiteral("/kivrel-fuzz-") + QString::number(::getpid());
        QDir().mkpath(dir);
        return dir;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: boundary length (0..7); then the boundary; then the attachment.
    const size_t boundaryLength = qMin<size_t>(data[0] & 7, size - 1);
    const QByteArray boundary(reinterpret_cast<const char *>(data + 1), qsizetype(boundaryLength));
    const QByteArray text(reinterpret_cast<const char *>(data + 1 + boundaryLength),
                          qsizetype(size - 1 - boundaryLength));

    QByteArray expected;
    const QString failure = plainDecode(text, boundary, &expected);

    const QString path = folder() + QStringLiteral("/out.bin");
    QFile::remove(path);
    QString error;
    bool checked = false;
    auto check = [&](const QString &temporaryPath) {
        QFile file(temporaryPath);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != expected)
            std::abort();
        checked = true;
        return QString();
    };
    const bool ok = AttachmentDecoder::TransferToFile(text, boundary, "base64", path, &error, check);
    if (ok != failure.isEmpty() || ok != checked ||
        error != (ok ? QString() : TransferText::ErrorPrefix + failure + u'(' + path + u')'))
        std::abort();
    QFile file(path);
    if (ok) {
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != expected)
            std::abort();
    } else if (file.exists()) {
        std::abort();
    }
    if (QDir(folder()).entryList(QDir::Files | QDir::Hidden).size() > (ok ? 1 : 0))
        std::abort();
    return 0;
}
