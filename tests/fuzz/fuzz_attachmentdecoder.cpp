// Checks the decoder's file against the line rules written out plainly.
#include "pop3/attachmentdecoder.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// Returns false where the transfer has to fail.
bool plainDecode(const QByteArray &text, const QByteArray &boundary, QByteArray *out)
{
    const QByteArray closing = "--" + boundary + "--";
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf("\r\n", pos);
        const qsizetype next = end < 0 ? text.size() : end + 2;
        if (end < 0)
            end = text.size();
        const QByteArray line = text.mid(pos, end - pos);
        pos = next;
        if (line.startsWith(closing))
            break;
        QByteArray bytes;
        for (qsizetype i = 0; i < line.size(); i += 4) {
            uchar quad[3];
            const qint16 r = AttachmentDecoder::DecodeBase64Quad(QByteArrayView(line).sliced(i), quad);
            if (r == AttachmentDecoder::QuadIncomplete)
                return false;
            if (r == AttachmentDecoder::QuadInvalid)
                break;
            const int n = r == 0 ? 3 : r;
            if (bytes.size() + n > 81)
                return false;
            bytes.append(reinterpret_cast<const char *>(quad), n);
            if (r != 0)
                break;
        }
        *out += bytes;
    }
    return true;
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
    const bool expectOk = plainDecode(text, boundary, &expected);

    const QString path = folder() + QStringLiteral("/out.bin");
    QFile::remove(path);
    QString error;
    const bool ok = AttachmentDecoder::TransferToFile(text, boundary, "base64", path, &error);
    if (ok != expectOk || ok != error.isEmpty())
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
