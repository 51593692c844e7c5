#include "core/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// One converter per direction, opened on first use. iconv descriptors are not
// thread-safe; the program is single-threaded but the lock keeps tests honest.
struct Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    std::mutex lock;
    Converter(const char *to, const char *from) { cd = iconv_open(to, from); }
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

Converter &toUtf16()
{
    static Converter c("UTF-16LE", "CP932");
    return c;
}

Converter &fromUtf16()
{
    static Converter c("CP932", "UTF-16LE");
    return c;
}

} // namespace

QString Cp932::decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    // Plain ASCII is the common case (protocol text, most log lines).
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(bytes.data(), bytes.size());

    Converter &conv = toUtf16();
    if (!conv.ok())
        return QString::fromLocal8Bit(bytes.data(), bytes.size());
    std::lock_guard guard(conv.lock);
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);

    QString out(bytes.size(), Qt::Uninitialized); // one UTF-16 unit per byte at most
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char *outPtr = reinterpret_cast<char *>(out.data());
    size_t outLeft = static_cast<size_t>(out.size()) * 2;
    while (inLeft > 0) {
        if (iconv(conv.cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Skip the bad byte and mark it.
            ++in;
            --inLeft;
            const char16_t repl = 0xFFFD;
            std::memcpy(outPtr, &repl, 2);
            outPtr += 2;
            outLeft -= 2;
            iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        break; // E2BIG cannot happen: the output has room for every byte
    }
    out.resize(static_cast<qsizetype>((outPtr - reinterpret_cast<char *>(out.data())) / 2));
    return out;
}

QByteArray Cp932::encode(const QString &text)
{
    if (text.isEmpty())
        return QByteArray();
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return text.toLatin1();

    Converter &conv = fromUtf16();
    if (!conv.ok())
        return text.toLocal8Bit();
    std::lock_guard guard(conv.lock);
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);

    QByteArray out(text.size() * 2 + 4, Qt::Uninitialized); // two bytes per character at most
    char *in = reinterpret_cast<char *>(const_cast<QChar *>(text.constData()));
    size_t inLeft = static_cast<size_t>(text.size()) * 2;
    char *outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(conv.cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Characters outside the code page; a surrogate pair counts as one.
            const char16_t unit = *reinterpret_cast<const char16_t *>(in);
            const size_t skip = (unit >= 0xD800 && unit < 0xDC00 && inLeft >= 4) ? 4 : 2;
            in += skip;
            inLeft -= skip;
            *outPtr++ = '?';
            --outLeft;
            iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        break;
    }
    out.resize(outPtr - out.data());
    return out;
}

QString Cp932::firstUnstorable(const QString &text)
{
    if (decode(encode(text)) == text)
        return QString();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (decode(encode(character)) != character)
            return character;
        i += length - 1;
    }
    return QString();
}

int Cp932::displayWeight(QStringView text)
{
    int weight = 0;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        const bool narrow = u < 0x1100 || (u >= 0xFF61 && u <= 0xFFDC) || (u >= 0xFFE8 && u <= 0xFFEE);
        weight += narrow ? 1 : 2;
    }
    return weight;
}
