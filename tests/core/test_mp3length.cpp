// The exact length of an MP3 file from its headers: synthetic frames for the
// edge cases, and libmpg123's own full scan as the oracle on files made by
// lame.
#include "files/posixio.h"
#include "core/mp3length.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using playback::Mp3Length;
using playback::Mp3LengthError;
using playback::Mp3LengthSource;
using Bytes = std::vector<std::uint8_t>;

// ---- Synthetic streams ----

struct Stream {
    int versionBits = 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layerBits = 1;   // 1 layer III, 2 layer II, 3 layer I
    int bitRateIndex = 9;
    int rateIndex = 0;
    bool mono = false;
};

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 or 418 bytes a frame.
constexpr Stream kCbr{};
constexpr int kCbrSamples = 1152;

std::uint32_t headerOf(const Stream& s, bool padding, int bitRateIndex = -1) {
    return 0xFFE00000u | (std::uint32_t(s.versionBits) << 19) | (std::uint32_t(s.layerBits) << 17) |
           (1u << 16) /* no CRC */ |
           (std::uint32_t(bitRateIndex < 0 ? s.bitRateIndex : bitRateIndex) << 12) |
           (std::uint32_t(s.rateIndex) << 10) | (padding ? 1u << 9 : 0u) | (s.mono ? 3u << 6 : 0u);
}

int lengthOf(std::uint32_t header) {
    static const int mpeg1[3][16] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static const int mpeg2[3][16] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static const int rates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int version = (header >> 19) & 3, layer = 4 - ((header >> 17) & 3);
    const int rate = rates[version][(header >> 10) & 3];
    const int pad = (header >> 9) & 1;
    const int bitRate = (version == 3 ? mpeg1 : mpeg2)[layer - 1][(header >> 12) & 15] * 1000;
    if (layer == 1) return (12 * bitRate / rate + pad) * 4;
    if (layer == 3 && version != 3) return 72 * bitRate / rate + pad;
    return 144 * bitRate / rate + pad;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// One frame: a header and a body of zeros (which a decoder hears as silence).
Bytes frame(const Stream& s, bool padding = false, int bitRateIndex = -1) {
    const std::uint32_t header = headerOf(s, padding, bitRateIndex);
    Bytes b(static_cast<std::size_t>(lengthOf(header)), 0);
    put32(b, 0, header);
    return b;
}

// `count` frames, with padding as a 44.1 kHz encoder spreads it, and the bit
// rate changing from frame to frame when `vbr`.
Bytes frames(int count, const Stream& s = kCbr, bool vbr = false) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        const Bytes f = frame(s, i % 3 == 1, vbr ? 5 + i % 9 : -1);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

struct Gapless {
    int delay = -1;
    int padding = -1;
};

// The first frame of a LAME-made file: "Xing" or "Info" with frame and byte
// counts, a seek table, and a LAME tag when `gapless` is given.
Bytes xingFrame(const char* tag, std::uint32_t frameCount, std::uint32_t byteCount,
                Gapless gapless = {}) {
    Bytes b = frame(kCbr);
    const std::size_t at = 4 + 32;
    std::memcpy(&b[at], tag, 4);
    put32(b, at + 4, 0x7); // frames, bytes, seek table
    put32(b, at + 8, frameCount);
    put32(b, at + 12, byteCount);
    const std::size_t lame = at + 16 + 100;
    if (gapless.delay >= 0) {
        std::memcpy(&b[lame], "LAME3.100", 9);
        b[lame + 21] = std::uint8_t(gapless.delay >> 4);
        b[lame + 22] = std::uint8_t(((gapless.delay & 15) << 4) | (gapless.padding >> 8));
        b[lame + 23] = std::uint8_t(gapless.padding & 0xFF);
    }
    return b;
}

Bytes vbriFrame(std::uint32_t frameCount, std::uint32_t byteCount) {
    Bytes b = frame(kCbr);
    const std::size_t at = 4 + 32;
    std::memcpy(&b[at], "VBRI", 4);
    b[at + 5] = 1; // version
    put32(b, at + 10, byteCount);
    put32(b, at + 14, frameCount);
    return b;
}

// An ID3v2 tag of `bodySize` bytes of zeros; `footer` adds a v2.4 footer.
Bytes id3v2(std::uint32_t bodySize, int version = 3, bool footer = false) {
    Bytes b(10 + bodySize + (footer ? 10 : 0), 0);
    std::memcpy(b.data(), "ID3", 3);
    b[3] = std::uint8_t(version);
    b[5] = footer ? 0x10 : 0;
    for (int i = 0; i < 4; ++i)
        b[6 + i] = std::uint8_t((bodySize >> (21 - 7 * i)) & 0x7F);
    if (footer) {
        std::copy(b.begin(), b.begin() + 10, b.end() - 10);
        std::memcpy(&b[b.size() - 10], "3DI", 3);
    }
    return b;
}

Bytes id3v1() {
    Bytes b(128, ' ');
    std::memcpy(b.data(), "TAG", 3);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}

// Reads from memory, counting what was asked for.
struct Memory {
    Bytes bytes;
    std::int64_t bytesRead = 0;
    int reads = 0;

    playback::ReadAt reader() {
        return [this](std::int64_t offset, void* out, std::int64_t length) -> std::int64_t {
            ++reads;
            if (offset >= std::int64_t(bytes.size())) return 0;
            const std::int64_t n = std::min<std::int64_t>(length, bytes.size() - offset);
            std::memcpy(out, bytes.data() + offset, std::size_t(n));
            bytesRead += n;
            return n;
        };
    }
    Mp3Length measure() { return playback::measureMp3Length(reader(), bytes.size()); }
};

Mp3Length measure(const Bytes& bytes) {
    Memory memory{bytes};
    return memory.measure();
}

// libmpg123's full scan with gapless decoding, as the player used it.
std::int64_t mpg123Samples(const std::string& path, long* rate) {
    int error = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    std::int64_t samples = -1;
    int channels = 0, encoding = 0;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK &&
        mpg123_getformat(decoder, rate, &channels, &encoding) == MPG123_OK &&
        mpg123_scan(decoder) == MPG123_OK)
        samples = mpg123_length(decoder);
    mpg123_close(decoder);
    mpg123_delete(decoder);
    return samples;
}

// The same for bytes made here, through a file of their own.
std::int64_t fullScanSamples(const Bytes& bytes) {
    static int made = 0;
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("mp3length-" + std::to_string(::getpid()) + "-" + std::to_string(++made) + ".mp3"))
            .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    long rate = 0;
    const std::int64_t samples = mpg123Samples(path, &rate);
    std::filesystem::remove(path);
    return samples;
}

// ---- Counting the frames ----

struct CountCase {
    const char* name;
    Bytes file;
    std::int64_t frames;
    std::int64_t audioStart;
    const char* fullScanDiffers = nullptr; // why libmpg123's scan is no oracle here
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class Mp3LengthCount : public testing::TestWithParam<CountCase> {};

TEST_P(Mp3LengthCount, CountsEveryWholeFrame) {
    const CountCase& c = GetParam();
    const Mp3Length length = measure(c.file);
    ASSERT_EQ(length.error, Mp3LengthError::None);
    EXPECT_EQ(length.source, Mp3LengthSource::FrameCount);
    EXPECT_EQ(length.frames, c.frames);
    EXPECT_EQ(length.audioStart, c.audioStart);
    EXPECT_EQ(length.samples, c.frames * kCbrSamples);
    EXPECT_EQ(length.sampleRate, 44100);
    EXPECT_DOUBLE_EQ(length.seconds(), c.frames * 1152.0 / 44100.0);
    if (!c.fullScanDiffers) {
        EXPECT_EQ(length.samples, fullScanSamples(c.file));
    }
}

Bytes falseSyncs() {
    // Sync words with valid headers, each followed by nothing that fits.
    Bytes junk = zeros(3000);
    for (std::size_t at = 100; at + 4 < junk.size(); at += 300)
        put32(junk, at, headerOf(kCbr, 0));
    return junk;
}

Bytes cutInto(Bytes b, std::size_t drop) {
    b.resize(b.size() - drop);
    return b;
}

const Bytes kTag = id3v2(1000);

INSTANTIATE_TEST_SUITE_P(
    Synthetic, Mp3LengthCount,
    testing::Values(
        CountCase{"Plain", frames(50), 50, 0},
        CountCase{"OneFrame", frames(1), 1, 0, "it wants a second frame"},
        CountCase{"VariableBitRate", frames(50, kCbr, true), 50, 0},
        CountCase{"ZerosBefore", zeros(64 << 10) + frames(50), 50, 64 << 10,
                  "it gives up before the audio"},
        CountCase{"FalseSyncsBefore", falseSyncs() + frames(50), 50, 3000},
        CountCase{"Id3v2", kTag + frames(50), 50, 1010},
        CountCase{"ChainedId3v2", id3v2(20) + id3v2(5, 4, true) + id3v2(0, 4) + frames(50), 50,
                  30 + 25 + 10},
        CountCase{"FooterFlagWithoutFooter", id3v2(20, 4) + frames(50), 50, 30},
        CountCase{"TagThenZeros", kTag + zeros(5000) + frames(50), 50, 6010},
        CountCase{"TrailingId3v1", frames(50) + id3v1(), 50, 0},
        CountCase{"LastFrameCut", cutInto(frames(50), 200), 49, 0},
        // A decoder plays the record's bytes as the rest of the cut frame.
        CountCase{"LastFrameCutBeforeId3v1", cutInto(frames(50), 100) + id3v1(), 50, 0},
        CountCase{"LastFrameCutBeforeShortId3v1", cutInto(frames(50), 200) + id3v1(), 49, 0},
        CountCase{"JunkInTheMiddle", frames(20) + falseSyncs() + frames(30), 50, 0,
                  "it counts lone sync words in the junk as frames"},
        CountCase{"TagsInTheMiddle", frames(20) + id3v1() + kTag + frames(30), 50, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3Length, LowerSampleRatesHaveShorterFrames) {
    const Mp3Length length = measure(frames(40, {2, 1, 8, 2, true}));
    EXPECT_EQ(length.sampleRate, 16000);
    EXPECT_EQ(length.samples, 40 * 576);
    const Mp3Length layer2 = measure(frames(30, {3, 2, 9, 1, false}));
    EXPECT_EQ(layer2.samples, 30 * 1152);
    EXPECT_EQ(layer2.sampleRate, 48000);
    const Mp3Length layer1 = measure(frames(30, {3, 3, 9, 2, false}));
    EXPECT_EQ(layer1.samples, 30 * 384);
}

// ---- Trusting the encoder's header ----

struct HeaderCase {
    const char* name;
    Bytes file;
    Mp3LengthSource source;
    std::int64_t samples;
    const char* fullScanDiffers = nullptr;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << c.name;
}

class Mp3LengthHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(Mp3LengthHeader, TrustsOnlyCountsThatAgreeWithTheFile) {
    const HeaderCase& c = GetParam();
    const Mp3Length length = measure(c.file);
    ASSERT_EQ(length.error, Mp3LengthError::None);
    EXPECT_EQ(length.source, c.source);
    EXPECT_EQ(length.samples, c.samples);
    if (!c.fullScanDiffers) {
        EXPECT_EQ(length.samples, fullScanSamples(c.file));
    }
}

const std::uint32_t kAudio = std::uint32_t(frames(100).size());
const std::uint32_t kWithInfo = kAudio + 417;

// The header's counts are the file's own, yet the frames after it are too
// few for them: so a trusted header must be what gives the length.
constexpr const char* kTrusted = "it counts the frames, which do not match the header";
Bytes lying(const char* tag, std::uint32_t frameCount) {
    return xingFrame(tag, frameCount, kWithInfo) + frames(100);
}

INSTANTIATE_TEST_SUITE_P(
    Synthetic, Mp3LengthHeader,
    testing::Values(
        // Counts that agree are trusted: these claim fewer frames than follow.
        HeaderCase{"XingTrusted", lying("Xing", 90), Mp3LengthSource::XingHeader, 90 * 1152 - 529,
                   kTrusted},
        HeaderCase{"VbriTrusted", vbriFrame(90, kWithInfo) + frames(100),
                   Mp3LengthSource::VbriHeader, 91 * 1152, kTrusted},
        HeaderCase{"TrustedWithTagsAround", kTag + lying("Xing", 90) + id3v1(),
                   Mp3LengthSource::XingHeader, 90 * 1152 - 529, kTrusted},
        // Without a LAME tag only the decoder's own delay goes.
        HeaderCase{"InfoInCbr", xingFrame("Info", 100, kWithInfo) + frames(100),
                   Mp3LengthSource::XingHeader, 100 * 1152 - 529},
        // A decoder that does not know VBRI plays its frame as silence.
        HeaderCase{"Vbri", vbriFrame(100, kWithInfo) + frames(100), Mp3LengthSource::VbriHeader,
                   101 * 1152},
        HeaderCase{"LameDelayAndPadding",
                   xingFrame("Info", 100, kWithInfo, {576, 1200}) + frames(100),
                   Mp3LengthSource::XingHeader, 100 * 1152 - 576 - 1200},
        HeaderCase{"PaddingShorterThanTheDecoderDelay",
                   xingFrame("Info", 100, kWithInfo, {576, 100}) + frames(100),
                   Mp3LengthSource::XingHeader, 100 * 1152 - 576 - 529},
        HeaderCase{"DelayAndPaddingOfSeveralFrames",
                   xingFrame("Info", 100, kWithInfo, {4000, 4000}) + frames(100),
                   Mp3LengthSource::XingHeader, 100 * 1152 - 8000},
        // Too few frames to fill the bytes it claims: counted instead.
        HeaderCase{"ImplausibleFrameCount", lying("Xing", 10), Mp3LengthSource::FrameCount,
                   100 * 1152},
        // The file was cut after the encoder wrote its counts: no padding
        // is left to take off.
        HeaderCase{"CutAfterEncoding",
                   cutInto(xingFrame("Info", 100, kWithInfo, {576, 1200}) + frames(100), 4000),
                   Mp3LengthSource::FrameCount, 90 * 1152},
        HeaderCase{"VbriCut", cutInto(vbriFrame(100, kWithInfo) + frames(100), 4000),
                   Mp3LengthSource::FrameCount, 91 * 1152},
        // Audio appended after it: the encoder's delay and padding stay.
        HeaderCase{"AppendedAfterEncoding",
                   xingFrame("Info", 100, kWithInfo, {576, 1200}) + frames(100) + frames(10),
                   Mp3LengthSource::FrameCount, 110 * 1152 - 576 - 1200},
        HeaderCase{"XingWithoutByteCount", xingFrame("Xing", 90, 0) + frames(100),
                   Mp3LengthSource::FrameCount, 100 * 1152}),
    [](const auto& info) { return std::string(info.param.name); });

// A ten-hour file whose header agrees is measured from a few small reads
// at its two ends: the bytes between are made up as they are asked for,
// so reading them all would also show up here.
TEST(Mp3Length, TrustedHeaderReadsAFewKilobytes) {
    const std::uint32_t count = 10 * 3600 * 44100 / 1152;
    const Bytes pattern = frames(3); // 417 + 418 + 417 bytes
    const std::int64_t audio = std::int64_t(count) / 3 * std::int64_t(pattern.size());
    const Bytes info = xingFrame("Info", count / 3 * 3, std::uint32_t(audio + 417), {576, 1000});
    const Bytes tail = id3v1();
    const std::int64_t size = std::int64_t(info.size()) + audio + 128;
    std::int64_t asked = 0;
    const playback::ReadAt read = [&](std::int64_t offset, void* out, std::int64_t length) {
        length = std::min(length, size - offset);
        asked += length;
        auto* to = static_cast<std::uint8_t*>(out);
        for (std::int64_t i = 0; i < length; ++i) {
            const std::int64_t at = offset + i;
            if (at < std::int64_t(info.size()))
                to[i] = info[at];
            else if (at >= size - 128)
                to[i] = tail[at - (size - 128)];
            else
                to[i] = pattern[(at - info.size()) % pattern.size()];
        }
        return length;
    };
    const Mp3Length length = playback::measureMp3Length(read, size);
    ASSERT_EQ(length.error, Mp3LengthError::None);
    EXPECT_EQ(length.source, Mp3LengthSource::XingHeader);
    EXPECT_EQ(length.samples, std::int64_t(count / 3 * 3) * 1152 - 576 - 1000);
    EXPECT_LT(asked, 32 << 10);
}

// ---- Files that are not MP3 files ----

struct RefusalCase {
    const char* name;
    Bytes file;
    Mp3LengthError error;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class Mp3LengthRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Mp3LengthRefusal, SaysWhy) {
    const RefusalCase& c = GetParam();
    const Mp3Length length = measure(c.file);
    EXPECT_EQ(length.error, c.error);
    EXPECT_EQ(length.samples, 0);
    EXPECT_EQ(length.seconds(), 0.0);
}

Bytes text() {
    const std::string words = "These are words, not music.\n";
    Bytes b;
    for (int i = 0; i < 40; ++i)
        b.insert(b.end(), words.begin(), words.end());
    return b;
}

Bytes freeFormat() {
    Bytes b = zeros(400);
    put32(b, 0, headerOf(kCbr, false, 0));
    return b + b + b;
}

INSTANTIATE_TEST_SUITE_P(
    Synthetic, Mp3LengthRefusal,
    testing::Values(
        RefusalCase{"Empty", {}, Mp3LengthError::Empty},
        RefusalCase{"Text", text(), Mp3LengthError::NoFrames},
        RefusalCase{"OnlyTags", kTag + id3v1(), Mp3LengthError::NoFrames},
        RefusalCase{"OnlyFalseSyncs", falseSyncs(), Mp3LengthError::NoFrames},
        RefusalCase{"ZerosPastTheSearch", zeros(5 << 20) + frames(5), Mp3LengthError::NoFrames},
        RefusalCase{"OneFrameCutShort", cutInto(frames(1), 100), Mp3LengthError::Damaged},
        RefusalCase{"FreeFormat", freeFormat(), Mp3LengthError::Unsupported}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3Length, ReadErrorIsReportedAsSuch) {
    const playback::ReadAt failing = [](std::int64_t, void*, std::int64_t) -> std::int64_t {
        return -1;
    };
    EXPECT_EQ(playback::measureMp3Length(failing, 100000).error, Mp3LengthError::Unreadable);
}

// A tag that claims more bytes than the file has is neither read whole nor
// allowed to hide the audio that is really there.
TEST(Mp3Length, TagLongerThanTheFileHidesNothing) {
    Bytes tag = id3v2(0);
    tag[6] = 0x7F; // 256 MiB
    const Mp3Length length = measure(tag + frames(50));
    ASSERT_EQ(length.error, Mp3LengthError::None);
    EXPECT_EQ(length.frames, 50);
    EXPECT_EQ(length.audioStart, 10);

    // Behind a good tag larger than the search reaches.
    const Bytes picture = id3v2(5 << 20);
    const Mp3Length behind = measure(picture + tag + frames(50));
    EXPECT_EQ(behind.frames, 50);
    EXPECT_EQ(behind.audioStart, std::int64_t(picture.size()) + 10);
}

// A v2.4 header whose size is not written as the format wants it (the high
// bit of a size byte set) is stepped over to the audio behind it.
TEST(Mp3Length, MalformedTagSizeHidesNothing) {
    Bytes tag = id3v2(300, 4);
    tag[8] = 0x82;
    const Mp3Length length = measure(tag + frames(50));
    ASSERT_EQ(length.error, Mp3LengthError::None);
    EXPECT_EQ(length.frames, 50);
    EXPECT_EQ(length.audioStart, 310);
}

TEST(Mp3Length, WalkReadsInLargeChunks) {
    Memory memory{frames(24000)}; // 10 MB
    EXPECT_EQ(memory.measure().frames, 24000);
    EXPECT_LT(memory.reads, 30);
}

TEST(Mp3Length, ChainedTagsAreSteppedOverNotRead) {
    Bytes small;
    const Bytes tag = id3v2(20);
    for (int i = 0; i < 2000; ++i)
        small.insert(small.end(), tag.begin(), tag.end());
    Memory smallTags{small + frames(50)};
    EXPECT_EQ(smallTags.measure().frames, 50);
    EXPECT_LT(smallTags.reads, 20);

    Bytes large;
    const Bytes picture = id3v2(64 << 10); // as big as a cover picture
    for (int i = 0; i < 300; ++i)
        large.insert(large.end(), picture.begin(), picture.end());
    Memory largeTags{large + frames(50)};
    EXPECT_EQ(largeTags.measure().frames, 50);
    EXPECT_LT(largeTags.bytesRead, std::int64_t(large.size()) / 2);
}

// ---- Against libmpg123 on files made by lame ----

// Every sample a gapless decode puts out: the decoder's own road through
// the file, not a count of frames.
std::int64_t decodedSamples(const std::string& path) {
    int error = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    std::int64_t samples = -1;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK &&
        mpg123_getformat(decoder, &rate, &channels, &encoding) == MPG123_OK) {
        const auto frameBytes = std::size_t(channels * mpg123_encsize(encoding));
        std::vector<unsigned char> buffer(1 << 16);
        samples = 0;
        int result = MPG123_OK;
        do {
            std::size_t done = 0;
            result = mpg123_read(decoder, buffer.data(), buffer.size(), &done);
            samples += std::int64_t(done / frameBytes);
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
    }
    mpg123_close(decoder);
    mpg123_delete(decoder);
    return samples;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

class Mp3LengthOracle : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("mp3length-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    // Measures through the descriptor adapter, as the player does.
    static Mp3Length measureFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) return {};
        const Mp3Length length = playback::measureMp3Length(files::readAtFd(fd), info.st_size);
        ::close(fd);
        return length;
    }

    std::filesystem::path dir_;
};

std::string fixture(const char* name) {
    return std::string(BRINDLO_MP3_FIXTURES "/") + name;
}

TEST_F(Mp3LengthOracle, SameSamplesAsTheFullScan) {
    struct Variant {
        std::string name;
        Bytes bytes;
    };
    std::vector<Variant> variants;
    for (const char* name :
         {"cbr.mp3", "vbr-xing.mp3", "vbr-noxing.mp3", "mono8k.mp3", "truncated.mp3"}) {
        const Bytes audio = readFile(fixture(name));
        ASSERT_FALSE(audio.empty()) << name;
        const std::string base = name;
        variants.push_back({name, audio});
        variants.push_back({"id3v2+id3v1-" + base, id3v2(3000) + audio + id3v1()});
        // Cut and grown after encoding: the counts in the header no longer
        // agree, the frames must be counted.
        variants.push_back({"cut-" + base, cutInto(audio, audio.size() / 3)});
        variants.push_back({"cut+id3v1-" + base, cutInto(audio, audio.size() / 3 + 7) + id3v1()});
        if (base != "mono8k.mp3") variants.push_back({"grown-" + base, audio + frames(12)});
    }
    // No encoder here writes VBRI: put one before lame's frames.
    const Bytes noXing = readFile(fixture("vbr-noxing.mp3"));
    const Mp3Length counted = measure(noXing);
    const Bytes vbri = vbriFrame(std::uint32_t(counted.frames), std::uint32_t(noXing.size() + 417));
    variants.push_back({"vbri.mp3", vbri + noXing});
    variants.push_back({"cut-vbri.mp3", cutInto(vbri + noXing, 3000)});
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const std::string path = write(v.name, v.bytes);
        long rate = 0;
        const std::int64_t expected = mpg123Samples(path, &rate);
        ASSERT_GT(expected, 0);
        const Mp3Length length = measureFile(path);
        ASSERT_EQ(length.error, Mp3LengthError::None);
        EXPECT_EQ(length.sampleRate, rate);
        EXPECT_EQ(length.samples, expected);
        // A cut frame may decode in part.
        EXPECT_NEAR(double(length.samples), double(decodedSamples(path)), 1152);
    }
}

// The full scan gives up on a file with this much before its audio; the
// length must still be the one of the same audio without it.
// A 16-bit WAV file: a tone that swells into noise, so that a VBR encoder
// changes its bit rate along the way.
void writeWave(const std::string& path, int rate, int channels, double seconds) {
    const auto frames = std::uint32_t(std::lround(rate * seconds));
    const std::uint32_t dataBytes = frames * std::uint32_t(channels) * 2;
    std::ofstream out(path, std::ios::binary);
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char((v >> (8 * i)) & 0xFF));
    };
    out.write("RIFF", 4);
    put(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(std::uint32_t(channels), 2);
    put(std::uint32_t(rate), 4);
    put(std::uint32_t(rate * channels * 2), 4);
    put(std::uint32_t(channels * 2), 2);
    put(16, 2);
    out.write("data", 4);
    put(dataBytes, 4);
    std::uint32_t noise = 7;
    for (std::uint32_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double loud = double(i) / frames;
        const double v = 0.3 * std::sin(2 * M_PI * 440 * i / rate) +
                         0.4 * loud * (double(noise >> 8) / double(1u << 24) - 0.5);
        for (int c = 0; c < channels; ++c)
            put(std::uint32_t(std::int16_t(v * 32767)), 2);
    }
}

// Encodings the player's fixtures do not cover: other MPEG versions and
// channel layouts put the Xing header elsewhere in its frame, and CRC
// protection moves it by two bytes.
TEST_F(Mp3LengthOracle, LameEncodingsAgreeWithTheFullScan) {
    struct Encoding {
        const char* name;
        int rate;
        int channels;
        const char* lameOptions;
        Mp3LengthSource source;
    };
    const Encoding encodings[] = {
        {"mpeg2-stereo-vbr", 22050, 2, "-V 5", Mp3LengthSource::XingHeader},
        {"mpeg1-mono-vbr", 44100, 1, "-m m -V 2", Mp3LengthSource::XingHeader},
        {"mpeg1-48k-cbr", 48000, 2, "-b 320", Mp3LengthSource::XingHeader},
        {"mpeg25-mono-vbr", 11025, 1, "-m m -V 9", Mp3LengthSource::XingHeader},
        {"crc-vbr", 44100, 2, "-p -V 4", Mp3LengthSource::XingHeader},
        {"mpeg1-32k-no-header", 32000, 2, "--nores -t -b 64", Mp3LengthSource::FrameCount},
    };
    for (const Encoding& e : encodings) {
        SCOPED_TRACE(e.name);
        const std::string wave = (dir_ / (std::string(e.name) + ".wav")).string();
        const std::string mp3 = (dir_ / (std::string(e.name) + ".mp3")).string();
        writeWave(wave, e.rate, e.channels, 3.1);
        const std::string command =
            std::string("lame --quiet ") + e.lameOptions + " '" + wave + "' '" + mp3 + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        long rate = 0;
        const std::int64_t expected = mpg123Samples(mp3, &rate);
        const Mp3Length length = measureFile(mp3);
        ASSERT_EQ(length.error, Mp3LengthError::None);
        EXPECT_EQ(length.source, e.source);
        EXPECT_EQ(length.sampleRate, rate);
        EXPECT_EQ(length.samples, expected);
        if (e.source == Mp3LengthSource::XingHeader) {
            EXPECT_EQ(length.samples, std::lround(e.rate * 3.1)); // to the sample, gapless
        }
    }
}

TEST_F(Mp3LengthOracle, JunkBeforeTheAudioChangesNothing) {
    for (const char* name : {"cbr.mp3", "vbr-xing.mp3", "vbr-noxing.mp3"}) {
        SCOPED_TRACE(name);
        long rate = 0;
        const std::int64_t expected = mpg123Samples(fixture(name), &rate);
        const Bytes audio = readFile(fixture(name));
        const Mp3Length length = measureFile(write(name, zeros(64 << 10) + audio));
        EXPECT_EQ(length.samples, expected);
    }
}

TEST_F(Mp3LengthOracle, HeadersAreTrustedWhereTheyAgree) {
    EXPECT_EQ(measureFile(fixture("vbr-xing.mp3")).source, Mp3LengthSource::XingHeader);
    EXPECT_EQ(measureFile(fixture("vbr-noxing.mp3")).source, Mp3LengthSource::FrameCount);
    EXPECT_EQ(measureFile(fixture("cbr.mp3")).source, Mp3LengthSource::XingHeader); // Info
    EXPECT_EQ(measureFile(fixture("truncated.mp3")).source, Mp3LengthSource::FrameCount);
    EXPECT_EQ(measureFile(fixture("text.mp3")).error, Mp3LengthError::NoFrames);
    EXPECT_EQ(measureFile(fixture("wave.mp3")).error, Mp3LengthError::NoFrames);
    EXPECT_EQ(measureFile(fixture("empty.mp3")).error, Mp3LengthError::Empty);
}

} // namespace
