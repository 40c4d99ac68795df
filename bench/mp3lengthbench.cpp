// How long measuring an MP3 file's length takes, by its headers and by
// libmpg123's full scan, on long files made here by repeating frames. A
// program, not a test: it prints figures and never fails for being slow.
//
//   brindlo-mp3length-bench [--huge] [--runs N] [--dir DIR]
//
// --huge adds a 2.3 GB file of 8 kbit/s frames (26 days of audio).
#include "files/posixio.h"
#include "core/mp3length.h"

#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Stream {
    int versionBits; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int rateIndex;
    bool mono;
};

constexpr Stream kStereo44{3, 0, false};
constexpr Stream kMono8{0, 2, true};

// A layer III frame with a silent body (which decoders accept as is).
Bytes frame(const Stream& s, int bitRateIndex, bool padding) {
    static const int mpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int mpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int rates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int rate = rates[s.versionBits][s.rateIndex];
    const int bitRate = (s.versionBits == 3 ? mpeg1 : mpeg2)[bitRateIndex] * 1000;
    const int length = (s.versionBits == 3 ? 144 : 72) * bitRate / rate + (padding ? 1 : 0);
    const std::uint32_t header = 0xFFE00000u | (std::uint32_t(s.versionBits) << 19) | (1u << 17) |
                                 (1u << 16) | (std::uint32_t(bitRateIndex) << 12) |
                                 (std::uint32_t(s.rateIndex) << 10) | (padding ? 1u << 9 : 0u) |
                                 (s.mono ? 3u << 6 : 0u);
    Bytes b(static_cast<std::size_t>(length), 0);
    for (int i = 0; i < 4; ++i)
        b[i] = std::uint8_t(header >> (24 - 8 * i));
    return b;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// An Info frame as lame writes it before CBR audio.
Bytes infoFrame(std::uint32_t frames, std::uint32_t bytes) {
    Bytes b = frame(kStereo44, 9, false);
    std::memcpy(&b[36], "Info", 4);
    put32(b, 40, 3);
    put32(b, 44, frames);
    put32(b, 48, bytes);
    return b;
}

// Writes `head`, then `block` `repeats` times. Returns the file's size.
std::int64_t writeFile(const std::string& path, const Bytes& head, const Bytes& block,
                       std::int64_t repeats) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
    Bytes big;
    const std::int64_t perWrite = std::max<std::int64_t>(1, (4 << 20) / std::int64_t(block.size()));
    for (std::int64_t i = 0; i < perWrite; ++i)
        big.insert(big.end(), block.begin(), block.end());
    std::int64_t left = repeats;
    while (left > 0) {
        const std::int64_t n = std::min(left, perWrite);
        out.write(reinterpret_cast<const char*>(big.data()),
                  std::streamsize(n * std::int64_t(block.size())));
        left -= n;
    }
    return std::int64_t(head.size()) + repeats * std::int64_t(block.size());
}

Bytes repeatFrames(const Stream& s, const std::vector<int>& bitRates) {
    Bytes out;
    for (std::size_t i = 0; i < bitRates.size(); ++i) {
        const Bytes f = frame(s, bitRates[i], s.versionBits == 3 && i % 3 == 1);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

struct Timed {
    double medianMs;
    double bestMs;
};

Timed time(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

struct Measured {
    playback::Mp3Length length;
    std::int64_t bytesRead = 0;
    int reads = 0;
};

Measured measure(const std::string& path) {
    Measured m;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return m;
    const playback::ReadAt direct = files::readAtFd(fd);
    const playback::ReadAt counted = [&](std::int64_t offset, void* buffer, std::int64_t length) {
        ++m.reads;
        const std::int64_t got = direct(offset, buffer, length);
        if (got > 0) m.bytesRead += got;
        return got;
    };
    m.length = playback::measureMp3Length(counted, info.st_size);
    ::close(fd);
    return m;
}

double mpg123Seconds(const std::string& path) {
    int error = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    double seconds = -1;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(decoder, path.c_str()) == MPG123_OK &&
        mpg123_getformat(decoder, &rate, &channels, &encoding) == MPG123_OK &&
        mpg123_scan(decoder) == MPG123_OK)
        seconds = double(mpg123_length(decoder)) / double(rate);
    mpg123_close(decoder);
    mpg123_delete(decoder);
    return seconds;
}

const char* sourceName(playback::Mp3LengthSource source) {
    switch (source) {
    case playback::Mp3LengthSource::XingHeader:
        return "Xing/Info";
    case playback::Mp3LengthSource::VbriHeader:
        return "VBRI";
    case playback::Mp3LengthSource::FrameCount:
        return "frame walk";
    default:
        return "none";
    }
}

} // namespace

int main(int argc, char* argv[]) {
    bool huge = false;
    int runs = 5;
    std::string dir = std::filesystem::temp_directory_path() / "brindlo-mp3length-bench";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--huge")
            huge = true;
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--huge] [--runs N] [--dir DIR]\n", argv[0]);
            return 2;
        }
    }
    std::filesystem::create_directories(dir);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    struct Case {
        std::string name;
        std::function<std::int64_t(const std::string&)> make;
    };
    const std::int64_t tenHours = 10 * 3600 * 44100 / 1152 / 3; // blocks of three frames
    const Bytes cbr = repeatFrames(kStereo44, {9, 9, 9});
    const Bytes vbr = repeatFrames(kStereo44, {5, 9, 13, 7, 11, 14, 6, 10, 12});
    std::vector<Case> cases{
        {"10 h CBR, Info header agrees",
         [&](const std::string& p) {
             const auto audio = std::uint32_t(tenHours * std::int64_t(cbr.size()));
             return writeFile(p, infoFrame(std::uint32_t(tenHours * 3), audio + 417), cbr,
                              tenHours);
         }},
        {"10 h CBR, no header",
         [&](const std::string& p) { return writeFile(p, {}, cbr, tenHours); }},
        {"10 h VBR, no header",
         [&](const std::string& p) { return writeFile(p, {}, vbr, tenHours / 3); }},
        {"10 h CBR, Info header off by one byte",
         [&](const std::string& p) {
             const auto audio = std::uint32_t(tenHours * std::int64_t(cbr.size()));
             return writeFile(p, infoFrame(std::uint32_t(tenHours * 3), audio + 418), cbr,
                              tenHours);
         }},
        {"2000 chained ID3v2 tags, then 2 s", [&](const std::string& p) {
             Bytes tags;
             for (int i = 0; i < 2000; ++i) {
                 const std::uint8_t tag[30] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
                 tags.insert(tags.end(), tag, tag + sizeof tag);
             }
             return writeFile(p, tags, cbr, 26);
         }}};
    if (huge) {
        const Bytes low = repeatFrames(kMono8, {1});
        cases.push_back({"2.3 GB of 8 kbit/s frames (26 days)", [low](const std::string& p) {
                             return writeFile(p, {}, low, 2300000000 / std::int64_t(low.size()));
                         }});
    }

    std::printf("%-40s %10s %10s %12s %8s %11s %12s %12s\n", "file", "size MB", "length s",
                "source", "reads", "read KiB", "ours ms", "mpg123 ms");
    for (const Case& c : cases) {
        const std::string path = dir + "/bench.mp3";
        const std::int64_t size = c.make(path);
        Measured m = measure(path); // warms the page cache as well
        const Timed ours = time(runs, [&] { m = measure(path); });
        double scanned = 0;
        // The full scan of a long file takes seconds: once is enough there.
        const int scans = size > (100 << 20) ? 1 : std::min(runs, 3);
        const Timed theirs = time(scans, [&] { scanned = mpg123Seconds(path); });
        std::printf("%-40s %10.1f %10.1f %12s %8d %11.1f %5.3f/%6.3f %12.1f\n", c.name.c_str(),
                    double(size) / 1e6, m.length.seconds(), sourceName(m.length.source), m.reads,
                    double(m.bytesRead) / 1024, ours.bestMs, ours.medianMs, theirs.medianMs);
        if (scanned >= 0 && std::abs(scanned - m.length.seconds()) > 1e-6)
            std::printf("    mpg123's scan says %.6f s\n", scanned);
        std::filesystem::remove(path);
    }
    std::printf("ours ms: best/median of %d runs, file in the page cache\n", runs);
    return 0;
}
