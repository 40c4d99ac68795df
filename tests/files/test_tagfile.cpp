#include "files/tagfile.h"

#include "tagfixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace tagtest;
using files::readLastRecord;
using tag::RecordBytes;
using files::WriteFailure;
using files::writeTagRecord;

// A FIFO must never stall the program; if it did, the alarm ends the test
// program instead of letting it hang.
class HangGuard {
public:
    HangGuard() { ::alarm(10); }
    ~HangGuard() { ::alarm(0); }
};

struct WriteCase {
    const char* name;
    Bytes before;
    bool replacesLast128; // otherwise the record is appended
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class TagFileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TagFileWrite, PlacesRecordAndKeepsEveryOtherByte) {
    const WriteCase& c = GetParam();
    TempFolder dir;
    ASSERT_TRUE(dir.valid());
    const std::string file = dir.path("song.mp3");
    TempFolder::write(file, c.before);

    const RecordBytes fresh = record(42);
    const files::WriteResult result = writeTagRecord(TempFolder::asText(file), fresh);
    ASSERT_TRUE(result.ok) << int(result.failure);
    EXPECT_EQ(result.failure, WriteFailure::None);
    EXPECT_EQ(result.failure, WriteFailure::None);

    Bytes expected = c.before;
    if (c.replacesLast128) expected.resize(expected.size() - 128);
    expected = expected + toBytes(fresh);
    EXPECT_EQ(TempFolder::read(file), expected);
    EXPECT_EQ(readLastRecord(TempFolder::asText(file)), fresh);
}

Bytes withTail(Bytes head, const std::string& marker, std::size_t rest) {
    return head + toBytes(marker) + audio(rest, 9);
}

INSTANTIATE_TEST_SUITE_P(
    Placement, TagFileWrite,
    ::testing::Values(
        WriteCase{"TaggedFileReplacedInPlace", audio(5000) + toBytes(record(1)), true},
        WriteCase{"WholeFileIsOneRecord", toBytes(record(1)), true},
        WriteCase{"UntaggedFileAppended", audio(5000), false},
        WriteCase{"LowerCaseMarkerAppended", withTail(audio(1000), "tag", 125), false},
        WriteCase{"MarkerNotAtRecordStartAppended", withTail(audio(1001), "TAG", 124), false},
        WriteCase{"ZeroBytesTailAppended", audio(1000) + Bytes(128, 0), false},
        WriteCase{"SixtyBytesAppended", withTail({}, "TAG", 57), false},
        WriteCase{"OneTwentySevenBytesAppended", withTail({}, "TAG", 124), false},
        WriteCase{"EmptyFileAppended", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TagFileWriteAgain, SecondSaveReplacesTheAppendedRecord) {
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    TempFolder::write(file, audio(3000));
    ASSERT_TRUE(writeTagRecord(TempFolder::asText(file), record(1)).ok);
    ASSERT_TRUE(writeTagRecord(TempFolder::asText(file), record(2)).ok);
    EXPECT_EQ(TempFolder::read(file), audio(3000) + toBytes(record(2)));
}

struct ReadCase {
    const char* name;
    Bytes content;
    std::optional<RecordBytes> last128;
};

RecordBytes lastOf(const Bytes& b) {
    RecordBytes r{};
    std::copy(b.end() - 128, b.end(), r.begin());
    return r;
}

TEST(TagFileRead, LastRecordOfRegularFiles) {
    const Bytes untagged = audio(5000);
    const ReadCase cases[] = {
        // The reader hands back the bytes; telling a record by its marker is
        // the caller's business, so an untagged tail comes back too.
        {"Untagged", untagged, lastOf(untagged)},
        {"Tagged", audio(5000) + toBytes(record(7)), record(7)},
        {"ExactlyOneRecord", toBytes(record(7)), record(7)},
        {"OneTwentySevenBytes", withTail({}, "TAG", 124), std::nullopt},
        {"Empty", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string file = dir.path("song.mp3");
        TempFolder::write(file, c.content);
        EXPECT_EQ(readLastRecord(TempFolder::asText(file)), c.last128);
        EXPECT_EQ(TempFolder::read(file), c.content);
    }
}

// A path that is not a usable file, made fresh in its own folder.
struct BadPathCase {
    const char* name;
    std::function<QString(const TempFolder&)> make;
    WriteFailure failure;
};

const BadPathCase kBadPaths[] = {
    {"Folder",
     [](const TempFolder& d) {
         ::mkdir(d.path("folder").c_str(), 0755);
         return TempFolder::asText(d.path("folder"));
     },
     WriteFailure::Folder},
    {"FolderWithSlash",
     [](const TempFolder& d) {
         ::mkdir(d.path("folder").c_str(), 0755);
         return TempFolder::asText(d.path("folder") + "/");
     },
     WriteFailure::Folder},
    {"VanishedFile", [](const TempFolder& d) { return TempFolder::asText(d.path("gone.mp3")); },
     WriteFailure::Missing},
    {"DanglingSymlink",
     [](const TempFolder& d) {
         // Opening with O_CREAT would make "target.mp3" here.
         (void)::symlink("target.mp3", d.path("link.mp3").c_str());
         return TempFolder::asText(d.path("link.mp3"));
     },
     WriteFailure::Missing},
    {"FileUsedAsFolder",
     [](const TempFolder& d) {
         TempFolder::write(d.path("song.mp3"), audio(300) + toBytes(record(1)));
         return TempFolder::asText(d.path("song.mp3") + "/inner.mp3");
     },
     WriteFailure::Missing},
    {"Fifo",
     [](const TempFolder& d) {
         ::mkfifo(d.path("pipe.mp3").c_str(), 0644);
         return TempFolder::asText(d.path("pipe.mp3"));
     },
     WriteFailure::NotRegular},
    {"NulCutsTheName",
     [](const TempFolder& d) {
         // Cut at the NUL, the name would be that of the existing song.
         TempFolder::write(d.path("song.mp3"), audio(300) + toBytes(record(1)));
         return TempFolder::asText(d.path("song.mp3")) + QChar(u'\0') + QStringLiteral("x");
     },
     WriteFailure::Missing},
    {"EmptyPath", [](const TempFolder&) { return QString(); }, WriteFailure::Missing},
};

TEST(TagFileBadPath, WriteRefusedAndNothingChanges) {
    for (const auto& c : kBadPaths) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString path = c.make(dir);
        const std::string before = dir.snapshot();
        HangGuard guard;
        const files::WriteResult result = writeTagRecord(path, record(2));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_NE(result.step, files::WriteStep::None);
        EXPECT_EQ(dir.snapshot(), before);
    }
}

TEST(TagFileBadPath, ReadGivesNothingAndNothingChanges) {
    for (const auto& c : kBadPaths) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString path = c.make(dir);
        const std::string before = dir.snapshot();
        HangGuard guard;
        EXPECT_EQ(readLastRecord(path), std::nullopt);
        EXPECT_EQ(dir.snapshot(), before);
    }
}

// The window passes the folder when no file is selected, and says so.
TEST(TagFileBadPath, FolderIsToldApart) {
    TempFolder dir;
    const files::WriteResult result = writeTagRecord(TempFolder::asText(dir.path("")), {});
    EXPECT_EQ(result.failure, WriteFailure::Folder);
}

// Refused also when running as root, who could write it anyway.
TEST(TagFileBadPath, ReadOnlyFileRefused) {
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    const Bytes before = audio(2000) + toBytes(record(1));
    TempFolder::write(file, before);
    ::chmod(file.c_str(), 0444);
    const files::WriteResult result = writeTagRecord(TempFolder::asText(file), record(2));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, WriteFailure::Denied);
    EXPECT_EQ(result.systemError, 0) << "the mode said no, not the system";
    EXPECT_EQ(TempFolder::read(file), before);
    EXPECT_EQ(readLastRecord(TempFolder::asText(file)), record(1)) << "reading needs no write";
}

// Write permission without read permission: the record's place cannot be
// found, and the result must say that reading is what is missing. Root
// reads anything, so as root the save runs in a child that is "nobody".
TEST(TagFileBadPath, WriteOnlyFileIsToldApart) {
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    const Bytes before = audio(2000) + toBytes(record(1));
    TempFolder::write(file, before);
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    const QString path = TempFolder::asText(file);

    if (::geteuid() != 0) {
        const files::WriteResult r = writeTagRecord(path, record(2));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.failure, WriteFailure::Denied);
        EXPECT_TRUE(r.writeOnly);
    } else {
        constexpr uid_t nobody = 65534;
        ASSERT_EQ(::chown(file.c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chmod(dir.path("").c_str(), 0755), 0); // let nobody reach the file
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(3);
            const files::WriteResult r = writeTagRecord(path, record(2));
            ::_exit(!r.ok && r.failure == WriteFailure::Denied && r.writeOnly ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 3) << "could not become nobody";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved, or refused for another reason";
    }
    EXPECT_EQ(TempFolder::read(file), before);
}

// Another program keeps appending to the file (a download, a recorder) while
// the tag is saved over and over. Every byte it appends must stay, in order;
// between its chunks stand only whole records of ours, and never two in a
// row, since a record that still ends the file is replaced, not followed.
// A save either succeeds or is refused because the file grew under it.
class ConcurrentAppender {
public:
    explicit ConcurrentAppender(const std::string& file)
        : fd_(::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)), thread_([this] { run(); }) {}
    ~ConcurrentAppender() { stop(); }

    // Stops, and returns how many chunks went in.
    int stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_), fd_ = -1;
        return count_;
    }

    // Chunk k: a size and bytes of its own, none of them 'T', so that no
    // chunk can pass for a record.
    static Bytes chunk(int k) {
        Bytes b(std::size_t(40 + (k * 37) % 220));
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = std::uint8_t(0x80 + (k * 31 + int(i) * 7) % 113);
        return b;
    }

private:
    void run() {
        while (!done_) {
            const Bytes b = chunk(count_);
            if (::write(fd_, b.data(), b.size()) != ssize_t(b.size())) return;
            ++count_;
            std::this_thread::sleep_for(std::chrono::microseconds(20 + count_ % 80));
        }
    }

    int fd_;
    std::atomic<bool> done_{false};
    int count_ = 0;
    std::thread thread_;
};

TEST(TagFileConcurrentAppend, AppendedBytesAreNeverLostOrOverwritten) {
    for (const bool tagged : {false, true}) {
        SCOPED_TRACE(tagged ? "tagged at the start" : "untagged at the start");
        TempFolder dir;
        const std::string file = dir.path("growing.mp3");
        const Bytes start = audio(1000) + (tagged ? toBytes(record(0)) : Bytes{});
        TempFolder::write(file, start);
        const QString path = TempFolder::asText(file);

        int saved = 0, refused = 0;
        ConcurrentAppender appender(file);
        for (int i = 1; i <= 400; ++i) {
            const files::WriteResult r = writeTagRecord(path, record(std::uint8_t(i)));
            if (r.ok) {
                ++saved;
            } else {
                ++refused;
                ASSERT_EQ(r.failure, WriteFailure::Changed);
                EXPECT_TRUE(r.restored);
            }
        }
        const int chunks = appender.stop();
        ASSERT_GT(chunks, 0);
        EXPECT_GT(saved, 0);

        const Bytes got = TempFolder::read(file);
        const std::size_t audioEnd = 1000;
        ASSERT_GE(got.size(), audioEnd);
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + audioEnd, start.begin()));
        std::size_t at = audioEnd;
        int next = 0;
        bool afterRecord = false;
        while (at < got.size()) {
            if (got[at] == 'T') {
                ASSERT_FALSE(afterRecord) << "two records in a row at " << at;
                ASSERT_LE(at + 128, got.size());
                const Bytes r(got.begin() + long(at), got.begin() + long(at) + 128);
                bool whole = false;
                for (int seed = 0; seed < 256 && !whole; ++seed)
                    whole = toBytes(record(std::uint8_t(seed))) == r;
                ASSERT_TRUE(whole) << "a record not whole, or mixed with other bytes, at " << at;
                afterRecord = true;
                at += 128;
            } else {
                const Bytes c = ConcurrentAppender::chunk(next);
                ASSERT_LE(at + c.size(), got.size()) << "chunk " << next << " cut short";
                ASSERT_TRUE(std::equal(c.begin(), c.end(), got.begin() + long(at)))
                    << "chunk " << next << " overwritten or out of place at " << at;
                afterRecord = false;
                at += c.size();
                ++next;
            }
        }
        EXPECT_EQ(next, chunks) << "appended chunks are missing";
        std::printf("  %d saves done, %d refused while %d chunks were appended\n", saved, refused,
                    chunks);
    }
}

// Runs the save in a child whose file size limit stops it part-way, with the
// default SIGXFSZ action in place: the save itself must keep the signal from
// killing it, fail cleanly, and leave the file as it was.
TEST(TagFileSizeLimit, FailedWriteLeavesFileAsItWas) {
    const struct {
        const char* name;
        Bytes before;
        long limitOffset; // relative to the old length
    } cases[] = {
        {"AppendCutShort", audio(5000), 10},
        {"AppendNotStarted", audio(5000), 0},
        {"InPlaceCutShort", audio(5000) + toBytes(record(1)), -50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string file = dir.path("song.mp3");
        TempFolder::write(file, c.before);
        const QString path = TempFolder::asText(file);

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_DFL);
            const rlim_t limit = rlim_t(long(c.before.size()) + c.limitOffset);
            const rlimit rl{limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(3);
            const files::WriteResult r = writeTagRecord(path, record(2));
            if (r.ok) ::_exit(1);
            const bool plain = r.failure == WriteFailure::NoSpace && r.restored;
            ::_exit(plain ? 0 : 2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "child killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: wrong or no message";
        EXPECT_EQ(TempFolder::read(file), c.before);
    }
}

TEST(TagFileNames, NonUtf8NameWritesThatFileOnly) {
    TempFolder dir;
    const std::string raw = dir.path("a\xFF.mp3");
    const std::string lookalike = dir.path("a\xEF\xBF\xBD.mp3"); // U+FFFD in UTF-8
    const Bytes before = audio(1000) + toBytes(record(1));
    TempFolder::write(raw, before);
    TempFolder::write(lookalike, before);
    ASSERT_NE(TempFolder::asText(raw), TempFolder::asText(lookalike));

    ASSERT_TRUE(writeTagRecord(TempFolder::asText(raw), record(2)).ok);
    EXPECT_EQ(TempFolder::read(raw), audio(1000) + toBytes(record(2)));
    EXPECT_EQ(TempFolder::read(lookalike), before);
    EXPECT_EQ(readLastRecord(TempFolder::asText(raw)), record(2));
    EXPECT_EQ(readLastRecord(TempFolder::asText(lookalike)), record(1));
}

// Files past 2 GiB and 4 GiB, made sparse so they cost no disk space.
TEST(TagFileLarge, OffsetsBeyondThirtyTwoBits) {
    TempFolder dir;
    const off_t length = (off_t(1) << 32) + 1000;
    const std::string tagged = dir.path("tagged.mp3");
    const std::string untagged = dir.path("untagged.mp3");
    for (const auto& name : {tagged, untagged}) {
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        const bool sparse = ::ftruncate(fd, length) == 0;
        if (sparse && name == tagged) {
            const RecordBytes r = record(1);
            ASSERT_EQ(::pwrite(fd, r.data(), r.size(), length - 128), 128);
        }
        ::close(fd);
        if (!sparse) GTEST_SKIP() << "no room for a sparse file of 4 GiB here";
    }

    EXPECT_EQ(readLastRecord(TempFolder::asText(tagged)), record(1));
    ASSERT_TRUE(writeTagRecord(TempFolder::asText(tagged), record(2)).ok);
    ASSERT_TRUE(writeTagRecord(TempFolder::asText(untagged), record(3)).ok);

    struct stat st {};
    ASSERT_EQ(::stat(tagged.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, length);
    ASSERT_EQ(::stat(untagged.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, length + 128);
    EXPECT_EQ(readLastRecord(TempFolder::asText(tagged)), record(2));
    EXPECT_EQ(readLastRecord(TempFolder::asText(untagged)), record(3));

    // The byte just before each record is still the untouched (zero) audio.
    for (const auto& [name, at] :
         {std::pair{tagged, length - 129}, std::pair{untagged, length - 1}}) {
        const int fd = ::open(name.c_str(), O_RDONLY);
        unsigned char b = 0xAA;
        EXPECT_EQ(::pread(fd, &b, 1, at), 1);
        EXPECT_EQ(b, 0);
        ::close(fd);
    }
}

} // namespace
