#include "platform/filename.h"

#include <gtest/gtest.h>

using platform::decodeFileName;
using platform::encodeFileName;

TEST(FileNameText, EveryByteStringRoundTrips) {
    const QByteArray cases[] = {
        "plain.mp3",
        "caf\xc3\xa9 \xe2\x99\xab.mp3",   // valid UTF-8
        "\xff\xfe raw.mp3",                // not UTF-8 at all
        "half \xc3",                       // truncated sequence
        "\xed\xa0\x80 surrogate",          // UTF-8 of a surrogate is invalid
        "\xc0\xaf overlong",
        "\xf0\x9f\x8e\xb5 astral.mp3",
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

TEST(FileNameText, RawBytesNeverEncodeAsAnotherName) {
    // A name with an invalid byte must not turn into the name that holds
    // the replacement character itself.
    const QByteArray raw = "a\xff.mp3";
    const QByteArray replacement = "a\xef\xbf\xbd.mp3";
    EXPECT_NE(decodeFileName(raw), decodeFileName(replacement));
    EXPECT_EQ(encodeFileName(decodeFileName(replacement)), replacement);
    EXPECT_EQ(decodeFileName("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_TRUE(encodeFileName(QString(QChar(0xD800))).isEmpty());
}
