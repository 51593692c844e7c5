#include "pop3/lzharchive.h"

#include "core/cp932.h"

#include <QFile>

#include <cstring>
#include <lhasa.h>
#include <memory>

namespace {

// The file as liblhasa reads it, with what went wrong on the way.
struct Source {
    QFile file;
    qint64 size = 0;
    bool shortRead = false; // asked for bytes past the end of the file
    bool ioError = false;
};

int readSource(void *handle, void *buf, size_t len)
{
    auto *src = static_cast<Source *>(handle);
    const qint64 n = src->file.read(static_cast<char *>(buf), qint64(len));
    if (n < 0) {
        src->ioError = true;
        return -1;
    }
    if (n < qint64(len))
        src->shortRead = true;
    return int(n);
}

// liblhasa's own fallback skip never ends at the end of the file: this one fails there.
int skipSource(void *handle, size_t bytes)
{
    auto *src = static_cast<Source *>(handle);
    const qint64 target = src->file.pos() + qint64(bytes);
    if (bytes > size_t(src->size) || target > src->size) {
        src->shortRead = true;
        return 0;
    }
    return src->file.seek(target) ? 1 : 0;
}

const LHAInputStreamType SourceType = {readSource, skipSource, nullptr};

// liblhasa takes the first thing that looks like a member header within the
// first 64 KiB as the start (a self-extractor's code before it is skipped).
// A received archive has to start with its first member.
bool startsWithHeader(const QByteArray &head)
{
    if (head.size() < 7 || head[2] != '-' || head[6] != '-')
        return false;
    const QByteArray family = head.mid(3, 2);
    if (family == "lh")
        return true;
    if (family == "lz")
        return head[5] == '4' || head[5] == '5' || head[5] == 's';
    return family == "pm" && head[5] != 's';
}

QString damaged(const QString &reason)
{
    return LzhText::Damaged + reason;
}

QString memberDamaged(int index, const QString &name, const QString &reason)
{
    const QString member = name.isEmpty() ? LzhText::MemberNumbered.arg(index) : LzhText::MemberNamed.arg(name);
    return LzhText::Damaged + member + reason;
}

QString memberName(const LHAFileHeader *header)
{
    QByteArray raw;
    if (header->path)
        raw += header->path;
    if (header->filename)
        raw += header->filename;
    return Cp932::decode(raw);
}

struct ReaderDeleter {
    void operator()(LHAReader *r) const { lha_reader_free(r); }
};
struct StreamDeleter {
    void operator()(LHAInputStream *s) const { lha_input_stream_free(s); }
};

} // namespace

namespace LzhArchive {

bool appliesTo(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".lzh"), Qt::CaseInsensitive);
}

QString check(const QString &path)
{
    Source src;
    src.file.setFileName(path);
    if (!src.file.open(QIODevice::ReadOnly))
        return damaged(LzhText::Unreadable);
    src.size = src.file.size();
    if (src.size == 0)
        return damaged(LzhText::NoMember);

    const QByteArray head = src.file.peek(7);
    if (head.size() < 1)
        return damaged(LzhText::Unreadable);
    if (head[0] != '\0' && !startsWithHeader(head))
        return LzhText::NotArchive;

    std::unique_ptr<LHAInputStream, StreamDeleter> stream(lha_input_stream_new(&SourceType, &src));
    if (!stream)
        return damaged(LzhText::Unreadable);
    std::unique_ptr<LHAReader, ReaderDeleter> reader(lha_reader_new(stream.get()));
    if (!reader)
        return damaged(LzhText::Unreadable);
    // Directories as they come: no entry is returned twice.
    lha_reader_set_dir_policy(reader.get(), LHA_READER_DIR_PLAIN);

    qint64 memberStart = 0; // where the next member header (or the end mark) is
    qint64 extracted = 0;
    for (int index = 1;; ++index) {
        if (memberStart == src.size)
            return damaged(LzhText::NoEndMark);
        // liblhasa reads a 0 byte where a header belongs as a header that
        // failed; the archive's end is decided here instead.
        const qint64 readPos = src.file.pos();
        char mark = 1;
        if (!src.file.seek(memberStart) || !src.file.getChar(&mark) || !src.file.seek(readPos))
            return damaged(LzhText::Unreadable);
        if (mark == '\0') {
            if (index == 1)
                return damaged(LzhText::NoMember);
            return memberStart + 1 == src.size ? QString() : damaged(LzhText::TrailingData);
        }

        src.shortRead = false;
        const LHAFileHeader *header = lha_reader_next_file(reader.get());
        if (src.ioError)
            return damaged(LzhText::Unreadable);
        if (!header)
            return memberDamaged(index, {}, src.shortRead ? LzhText::Truncated : LzhText::BrokenHeader);
        const QString name = memberName(header);
        // The header is all that has been read of this member so far.
        const qint64 dataStart = memberStart + qint64(header->raw_data_len);
        if (src.file.pos() != dataStart)
            return memberDamaged(index, name, LzhText::BrokenHeader);
        if (header->compressed_length > size_t(src.size - dataStart))
            return memberDamaged(index, name, LzhText::Truncated);

        char method[sizeof header->compress_method];
        std::memcpy(method, header->compress_method, sizeof method);
        method[sizeof method - 1] = '\0';
        if (std::strcmp(method, LHA_COMPRESS_TYPE_DIR) != 0 && !lha_decoder_for_name(method))
            return memberDamaged(index, name, LzhText::UnsupportedMethod.arg(Cp932::decode(method)));
        if (header->length > size_t(MaxExtractedBytes - extracted))
            return memberDamaged(index, name, LzhText::TooLarge);
        extracted += qint64(header->length);

        // Decodes exactly header->length bytes into nothing; true when that
        // many came out and their CRC-16 is the header's.
        if (!lha_reader_check(reader.get(), nullptr, nullptr)) {
            if (src.ioError)
                return damaged(LzhText::Unreadable);
            return memberDamaged(index, name, LzhText::CrcMismatch);
        }
        memberStart = dataStart + qint64(header->compressed_length);
    }
}

FileCheck checkFor(const QString &fileName, bool enabled)
{
    if (!enabled || !appliesTo(fileName))
        return {};
    return [](const QString &path) { return check(path); };
}

} // namespace LzhArchive
