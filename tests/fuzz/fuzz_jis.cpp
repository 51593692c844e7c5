// Checks the one-pass JIS conversion against the rule written out plainly:
// convert the first segment, then search again from the start of the text.
#include "pop3/jis.h"

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray plainConvert(QByteArray text, bool *ok)
{
    *ok = true;
    for (;;) {
        const qsizetype start = text.indexOf("\x1b$B");
        if (start < 0)
            return text;
        qsizetype end = text.indexOf("\x1b(J", start + 3);
        if (end < 0)
            end = text.indexOf("\x1b(B", start + 3);
        if (end < 0)
            return text;
        const QByteArray segment = text.mid(start + 3, end - start - 3);
        QByteArray converted;
        for (qsizetype i = 0; i + 1 < segment.size(); i += 2) {
            const int c1 = uchar(segment[i]), c2 = uchar(segment[i + 1]);
            if (c1 < 33 || c1 > 126 || c2 < 33 || c2 > 126) {
                converted += "\x81\xac";
                continue;
            }
            const int h = (c1 - 33) * 94 + (c2 - 33);
            int s1 = h / 188 + 129;
            if (s1 >= 160)
                s1 += 64;
            int s2 = h % 188 + 64;
            if (s2 > 126)
                s2 += 1;
            converted += char(s1);
            converted += char(s2);
        }
        if (segment.size() % 2) {
            converted += segment.back();
            *ok = false;
        }
        text = text.left(start) + converted + text.mid(end + 3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    bool expectedOk = true;
    const QByteArray expected = plainConvert(input, &expectedOk);

    bool ok = !expectedOk;
    const QByteArray shared = input;
    if (JisToShiftJis(shared, &ok) != expected || ok != expectedOk)
        std::abort();
    QByteArray own(input.constData(), input.size()); // unshared: converted in place
    if (JisToShiftJis(std::move(own)) != expected)
        std::abort();
    qsizetype consumed = -1;
    if (JisToShiftJisHead(input, &consumed) + input.mid(consumed) != expected)
        std::abort();
    return 0;
}
