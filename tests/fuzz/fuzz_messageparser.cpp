#include "pop3/jis.h"
#include "pop3/messageparser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    for (auto mode : {MessageParser::Mode::Reply, MessageParser::Mode::Exact}) {
        MessageParser parser;
        const bool result = parser.parse(text, mode);
        if (result != (!parser.subjectBytes().isEmpty() && !parser.bodyBytes().isEmpty()))
            std::abort();
        (void)parser.subject();
        (void)parser.body();
        (void)parser.from();
        (void)parser.fileName();
        const QByteArrayView attachment = parser.attachmentText();
        if (!attachment.isEmpty() &&
            (attachment.data() < text.constData() || attachment.data() + attachment.size() > text.constData() + size))
            std::abort();
        // The incremental boundary search agrees with a full search at every step.
        for (qsizetype cut = 0; cut <= text.size(); cut += 1 + text.size() / 7) {
            const QByteArrayView part = QByteArrayView(text).first(cut);
            if (parser.boundComplete(part) != AttachmentDecoder::BoundComplete(part, parser.boundary()))
                std::abort();
        }
        const QByteArray before = parser.attachmentText().toByteArray();
        QByteArray expectedLog = JisToShiftJis(text);
        if (expectedLog.startsWith("+OK \r\n"))
            expectedLog.remove(0, 6);
        if (parser.convertLogText().joined() != expectedLog)
            std::abort();
        if (parser.attachmentText() != QByteArrayView(before))
            std::abort();
    }
    (void)MessageParser::parseMailDate(text);
    return 0;
}
