// Token on arbitrary text and delimiters: no crash, no endless loop, and the
// sequential and indexed views agree.
#include "core/token.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: mode and delimiter length; then the delimiters; then the text.
    const int mode = data[0] & 3;
    const size_t dlmLen = 1 + ((data[0] >> 2) & 7);
    if (size < 1 + dlmLen)
        return 0;
    const QString dlm = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(dlmLen));
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1 + dlmLen), static_cast<qsizetype>(size - 1 - dlmLen));

    Token t;
    switch (mode) {
    case 0:
        t.Init(text, dlm);
        break;
    case 1:
        t.Init(text, QString(), dlm);
        break;
    case 2:
        t.Init(text, dlm, dlm);
        break;
    default:
        t.Init(text); // neither delimiter
        break;
    }

    QStringList sequence;
    // Without a delimiter NextToken never moves on (by design): nothing to walk.
    while (mode != 3 && !t.IsEnd()) {
        sequence << t.NextToken();
        if (sequence.size() > text.size() + 1)
            std::abort(); // every call moves past at least one character
    }
    const int count = t.FieldsCount();
    if (mode != 3 && count != sequence.size())
        std::abort();
    for (int i = -1; i <= count + 1; ++i) {
        const QString field = t.Fields(i);
        if (i >= 1 && i <= count && field != sequence[i - 1])
            std::abort();
        (void)t.FieldsValue(i);
    }
    return 0;
}
