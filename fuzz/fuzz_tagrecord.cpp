// Fuzz target: the tag reader's file steps and the record's text rules on
// whatever bytes a file may end in.
#include "files/tagfile.h"
#include "core/tagrecord.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString& scratchFile() {
    static const QString path = [] {
        char name[] = "/tmp/brindlo-fuzz-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) std::abort();
        ::close(fd);
        return QString::fromLocal8Bit(name);
    }();
    return path;
}

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray name = scratchFile().toLocal8Bit();
    const int fd = ::open(name.constData(), O_WRONLY | O_TRUNC);
    check(fd >= 0);
    check(::write(fd, data, size) == static_cast<ssize_t>(size));
    ::close(fd);

    const std::optional<tag::RecordBytes> bytes = files::readLastRecord(scratchFile());
    check(bytes.has_value() == (size >= tag::kRecordSize));
    if (!bytes) return 0;
    check(std::memcmp(bytes->data(), data + size - tag::kRecordSize, tag::kRecordSize) == 0);

    // Every byte decodes to a character that encodes back to it, so a tag
    // read and saved unchanged keeps its bytes.
    const tag::TagRecord record = tag::decodeRecord(*bytes);
    check(tag::encodeRecord(record) == *bytes);

    // What the boxes would show stays within the field and holds no NUL.
    const std::u16string title = tag::textUpToFirstNul(tag::displayText(record.Title));
    check(title.size() <= 30 && title.find(u'\0') == std::u16string::npos);

    // Saving that text gives a field that shows the same text again, but
    // for spaces that stood before a NUL and now end the field.
    tag::TagRecord again = record;
    tag::assign(again.Title, title);
    check(tag::textUpToFirstNul(tag::displayText(again.Title)) ==
          tag::withoutTrailingSpaces(title));
    return 0;
}
