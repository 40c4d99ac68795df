// Thousands of random saves through the real window, with faults injected
// between the click and the save, on a pool of awkward files. After every
// step it checks that no file was damaged, that exactly the chosen file got
// exactly one record, and that the user heard of every failure and of no
// success. One fault is another program appending to the file while the save
// runs: then every byte it appended must be there, whole and in order, with
// our record replaced or appended between its chunks, or the save refused.
//
// Usage: savecampaign [--saves N] [--seed S] [--verbose]
#include "controls/eventrule.h"
#include "faultsupport.h"
#include "slowdisk.h"

#include "controls/messagebox.h"
#include "files/filename.h"
#include "window/frmbrindlo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using faults::Bytes;
using faults::Rng;

// --- The file system as the checks see it -----------------------------------

struct Entry {
    mode_t type = 0;
    mode_t mode = 0;
    dev_t device = 0; // the small disk has inode numbers of its own
    ino_t inode = 0;
    off_t size = 0;
    std::uint64_t hash = 0; // of the bytes, for regular files
    std::string linkTarget;
    bool operator==(const Entry&) const = default;
};

// Every name below the root, by raw bytes, with what it is. Links are not
// followed, so a dangling link or a changed link target shows too.
using Snapshot = std::map<std::string, Entry>;

void walk(const std::string& dir, const std::string& rel, Snapshot& out) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + '/' + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        Entry entry{
            st.st_mode & S_IFMT, st.st_mode & 07777, st.st_dev, st.st_ino, st.st_size, 0, {}};
        if (S_ISREG(st.st_mode)) {
            entry.hash = faults::hashOf(faults::readFile(path));
        } else if (S_ISLNK(st.st_mode)) {
            std::array<char, 4096> buf{};
            const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
            if (n > 0) entry.linkTarget.assign(buf.data(), std::size_t(n));
        }
        out[rel + name] = entry;
        if (S_ISDIR(st.st_mode)) walk(path, rel + name + '/', out);
    }
    ::closedir(d);
}

Snapshot snapshot(const std::string& root) {
    Snapshot s;
    walk(root, {}, s);
    return s;
}

// Whether the bytes end in a record: the last 128 begin with "TAG".
bool endsInRecord(const Bytes& b) {
    return b.size() >= 128 && b[b.size() - 128] == 'T' && b[b.size() - 127] == 'A' &&
           b[b.size() - 126] == 'G';
}

std::string describeDifference(const Snapshot& want, const Snapshot& got) {
    for (const auto& [name, e] : want) {
        const auto it = got.find(name);
        if (it == got.end()) return "\"" + faults::printable(name) + "\" vanished";
        if (!(it->second == e)) return "\"" + faults::printable(name) + "\" changed";
    }
    for (const auto& [name, e] : got) {
        if (!want.count(name)) return "\"" + faults::printable(name) + "\" appeared";
    }
    return {};
}

// What changed under root apart from `file` (and its other hard links)
// since `before`; "" when nothing did.
std::string otherFilesChanged(const Snapshot& before, const std::string& root,
                              const std::string& file) {
    Snapshot others = before, now = snapshot(root);
    struct stat st {};
    ::stat(file.c_str(), &st);
    for (Snapshot* s : {&others, &now})
        std::erase_if(*s, [&](const auto& item) {
            return item.second.device == st.st_dev && item.second.inode == st.st_ino;
        });
    return describeDifference(others, now);
}

// --- The record the boxes must give, worked out on its own ------------------

// Windows-1252 for 0x80..0x9F; 0 marks the five bytes the code page leaves
// undefined, which stand for the control character of the same value.
constexpr std::array<char16_t, 32> kHighHalf = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint8_t cp1252(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return std::uint8_t(ch);
    for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
        const char16_t mapped = kHighHalf[i] ? kHighHalf[i] : char16_t(0x80 + i);
        if (mapped == ch) return std::uint8_t(0x80 + i);
    }
    return '?';
}

// Composed first, then cut at the width, so an accent typed as a letter and
// a combining mark gets its own byte.
void putField(Bytes& out, const QString& typed, int width) {
    const QString text = typed.normalized(QString::NormalizationForm_C);
    for (int i = 0; i < width; ++i)
        out.push_back(i < text.size() ? cp1252(text.at(i).unicode()) : ' ');
}

Bytes expectedRecord(const frmBrindlo& w) {
    Bytes r{'T', 'A', 'G'};
    putField(r, w.txtTitle.Text(), 30);
    putField(r, w.txtArtist.Text(), 30);
    putField(r, w.txtAlbum.Text(), 30);
    putField(r, w.txtYear.Text(), 4);
    putField(r, w.txtComment.Text(), 30);
    r.push_back(std::uint8_t(w.cmbGenre.ListIndex() + 1));
    return r;
}

// --- Another program appending -------------------------------------------------

// Appends chunks to a file through its own O_APPEND descriptor, as a
// download or a recorder does, from the moment it is made until stop().
// No chunk byte is 'T', so a record's start always tells it from a chunk.
class Appender {
public:
    Appender(const std::string& path, std::uint64_t seed)
        : fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)), rng_(seed) {
        faults::check(fd_ >= 0, "open for appending");
        thread_ = std::thread([this] { run(); });
    }
    ~Appender() { stop(); }

    // The bytes appended, in order, and where each chunk begins in them.
    const Bytes& stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_), fd_ = -1;
        return bytes_;
    }
    const std::vector<std::size_t>& starts() const { return starts_; }

    // Until the first chunk is in, so the save meets a file already growing.
    void awaitFirstChunk() const {
        while (written_ == 0)
            std::this_thread::yield();
    }

private:
    void run() {
        while (!done_) {
            Bytes chunk(std::size_t(1 + rng_.below(300)));
            for (auto& b : chunk)
                b = std::uint8_t(0x80 + rng_.below(128));
            std::size_t done = 0;
            while (done < chunk.size()) {
                const ssize_t n = ::write(fd_, chunk.data() + done, chunk.size() - done);
                faults::check(n > 0, "append");
                done += std::size_t(n);
            }
            starts_.push_back(bytes_.size());
            bytes_.insert(bytes_.end(), chunk.begin(), chunk.end());
            ++written_;
            std::this_thread::sleep_for(std::chrono::microseconds(rng_.below(100)));
        }
    }

    int fd_;
    Rng rng_;
    std::atomic<bool> done_{false};
    std::atomic<int> written_{0};
    Bytes bytes_;
    std::vector<std::size_t> starts_;
    std::thread thread_;
};

// --- Random text as a user might type or paste it ----------------------------

const std::u16string kAlphabet =
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-'!()&/"
    u"éèêëàâäöüßçñøåæÆØÅÉÖÜ¡¿©®°±µ¶·»«½¾×÷ÿ" // Latin-1
    u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ"           // Windows-1252's own
    u"ЖжΩλ中文한☃→∞ĀőŁ"                      // no Windows-1252 byte
    u"\u0301\u0303\u0308\u030A";             // combining marks, as in file names

QString randomText(Rng& rng, bool pasted) {
    QString text;
    const int length = rng.below(36);
    for (int i = 0; i < length; ++i) {
        if (pasted && rng.chance(0.05)) {
            // Only a paste brings these: the five undefined bytes' characters.
            static const char16_t controls[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
            text += QChar(controls[rng.below(5)]);
        } else {
            text += QChar(kAlphabet[std::size_t(rng.below(int(kAlphabet.size())))]);
        }
    }
    return text;
}

void typeInto(controls::TextBox& box, const QString& text) {
    QLineEdit* edit = box.lineEdit();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void fillBoxes(frmBrindlo& w, Rng& rng) {
    controls::TextBox* boxes[] = {&w.txtTitle, &w.txtArtist, &w.txtAlbum, &w.txtYear,
                                  &w.txtComment};
    for (controls::TextBox* box : boxes) {
        if (rng.chance(0.15)) continue; // left as the click showed it
        const bool paste = rng.chance(0.3);
        const QString text = randomText(rng, paste);
        if (paste)
            box->setText(text);
        else
            typeInto(*box, text);
    }
    switch (rng.below(4)) {
    case 0: // keep what the click selected
        break;
    case 1:
        w.cmbGenre.setListIndex(rng.below(147) - 1);
        break;
    case 2: { // chosen from the drop-down with the mouse
        QComboBox* list = w.cmbGenre.comboBox();
        list->showPopup();
        QAbstractItemView* view = list->view();
        const QModelIndex item = list->model()->index(rng.below(146), 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        list->hidePopup();
        break;
    }
    default: // a code typed into the number box, which the list follows or not
        typeInto(w.txtGenreCode, QString::number(rng.below(260)));
        break;
    }
}

// --- The pool -----------------------------------------------------------------

enum class Kind { Tagged, Untagged, Short, Empty, Exact128Tagged, Exact128Untagged, ReadOnly };

struct PoolFile {
    std::string folder; // raw path of the listed folder
    std::string name;   // raw bytes
    Kind kind;
    std::string linkTo;   // set: the name is a symbolic link to this path
    std::string hardTwin; // set: the name is a hard link of this pool name
    bool onSmallDisk = false;
    std::string path() const { return folder + '/' + name; }
};

Bytes audio(Rng& rng, std::size_t size) {
    Bytes b(size);
    for (auto& x : b)
        x = std::uint8_t(rng.below(256));
    // A tail that begins "TAG" by chance would make an untagged file tagged.
    if (size >= 128 && b[size - 128] == 'T') b[size - 128] = 'X';
    return b;
}

Bytes oldRecord(Rng& rng) {
    Bytes r = audio(rng, 128);
    r[0] = 'T', r[1] = 'A', r[2] = 'G';
    return r;
}

Bytes contentOf(Kind kind, Rng& rng, bool onSmallDisk) {
    // On the small disk, lengths near a page boundary decide whether an
    // append needs a page that is not there.
    const std::size_t base =
        onSmallDisk ? 4096 * std::size_t(1 + rng.below(2)) - std::size_t(rng.below(200))
                    : std::size_t(129 + rng.below(6000));
    switch (kind) {
    case Kind::Tagged:
    case Kind::ReadOnly: {
        Bytes b = audio(rng, base);
        const Bytes r = oldRecord(rng);
        b.insert(b.end(), r.begin(), r.end());
        return b;
    }
    case Kind::Untagged:
        return audio(rng, base);
    case Kind::Short:
        return audio(rng, std::size_t(1 + rng.below(127)));
    case Kind::Empty:
        return {};
    case Kind::Exact128Tagged:
        return oldRecord(rng);
    case Kind::Exact128Untagged:
        return audio(rng, 128);
    }
    return {};
}

class Pool {
public:
    Pool(std::string root, bool smallDisk) : root_(std::move(root)), smallDisk_(smallDisk) {}

    void add(PoolFile f) { files_.push_back(std::move(f)); }
    std::vector<PoolFile>& files() { return files_; }
    const PoolFile* byName(const std::string& folder, const std::string& name) const {
        for (const PoolFile& f : files_)
            if (f.folder == folder && f.name == name) return &f;
        return nullptr;
    }

    // Puts the entry back as its kind says, with fresh bytes; a hard-linked
    // pair is made again as a pair.
    void reset(const PoolFile& f, Rng& rng) {
        faults::removeAll(f.path());
        if (!f.hardTwin.empty()) {
            const PoolFile* twin = byName(f.folder, f.hardTwin);
            faults::removeAll(twin->path());
            create(*twin, rng);
            faults::check(::link(twin->path().c_str(), f.path().c_str()) == 0, "link");
            return;
        }
        for (const PoolFile& other : files_) { // and its twin, if it has one
            if (other.hardTwin == f.name && other.folder == f.folder) {
                faults::removeAll(other.path());
                create(f, rng);
                faults::check(::link(f.path().c_str(), other.path().c_str()) == 0, "link");
                return;
            }
        }
        create(f, rng);
    }

    void createAll(Rng& rng) {
        for (const PoolFile& f : files_)
            if (f.hardTwin.empty()) create(f, rng);
        for (const PoolFile& f : files_)
            if (!f.hardTwin.empty())
                faults::check(
                    ::link(byName(f.folder, f.hardTwin)->path().c_str(), f.path().c_str()) == 0,
                    "link");
    }

    // Fills the small disk up again with a file the list does not show.
    void fillSmallDisk() {
        if (!smallDisk_) return;
        const std::string filler = root_ + "/tiny/filler.bin";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        faults::check(fd >= 0, "filler");
        const std::vector<char> page(4096, 'f');
        while (::write(fd, page.data(), page.size()) > 0) {
        }
        const std::vector<char> bit(1, 'f');
        while (::write(fd, bit.data(), 1) > 0) {
        }
        ::close(fd);
    }

private:
    void create(const PoolFile& f, Rng& rng) {
        const Bytes bytes = contentOf(f.kind, rng, f.onSmallDisk);
        if (!f.linkTo.empty()) {
            faults::removeAll(f.linkTo);
            faults::writeFile(f.linkTo, bytes);
            faults::check(::symlink(f.linkTo.c_str(), f.path().c_str()) == 0, "symlink");
        } else {
            if (f.onSmallDisk) {
                // Room for the file itself: give back some of the filler.
                ::truncate((root_ + "/tiny/filler.bin").c_str(), 0);
            }
            faults::writeFile(f.path(), bytes);
        }
        if (f.kind == Kind::ReadOnly)
            ::chmod((f.linkTo.empty() ? f.path() : f.linkTo).c_str(), 0444);
    }

    std::string root_;
    bool smallDisk_;
    std::vector<PoolFile> files_;
};

// --- Another program rewriting in place ---------------------------------------

// Rewrites a file in place one to three times, as another tag editor or a
// converter does: opens it without truncating (or has it open already),
// writes a new version over it from the first byte in pieces, cuts it to the
// new length and closes it.
// It starts at a random moment around the save. Every version differs from
// the file and from each other in every byte before its tag, so any mix of
// two of them, or of one and our record in the wrong place, shows.
class Rewriter {
public:
    Rewriter(const std::string& path, const Bytes& original, Rng& rng) : path_(path) {
        const int count = 1 + rng.below(3);
        for (int i = 0; i < count; ++i) {
            Bytes v = original;
            v.resize(std::size_t(std::max<long>(0, long(original.size()) + rng.below(600) - 300)));
            for (std::size_t k = 0; k < v.size(); ++k)
                v[k] = std::uint8_t(0x80 + (k * 7 + std::size_t(i) * 31 + 11) % 120);
            if (rng.chance(0.5) && v.size() >= 128) {
                Bytes tag = oldRecord(rng);
                std::copy(tag.begin(), tag.end(), v.end() - 128);
            }
            versions_.push_back(std::move(v));
        }
        // Around the moment the save reaches the disk, a millisecond or so
        // after the click.
        startDelayUs_ = rng.below(1500);
        pieceUs_ = rng.below(60);
        // Half the time it already has the file open when the save begins,
        // as an editor that keeps its file open does.
        if (rng.chance(0.5)) {
            heldOpen_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            faults::check(heldOpen_ >= 0, "open for rewriting");
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Rewriter() { finish(); }

    void finish() {
        if (thread_.joinable()) thread_.join();
    }
    const std::vector<Bytes>& versions() const { return versions_; }

private:
    void run() {
        std::this_thread::sleep_for(std::chrono::microseconds(startDelayUs_));
        for (const Bytes& v : versions_) {
            const int fd = heldOpen_ >= 0 ? std::exchange(heldOpen_, -1)
                                          : ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            faults::check(fd >= 0, "open for rewriting");
            std::size_t done = 0;
            while (done < v.size()) {
                const std::size_t piece = std::min<std::size_t>(v.size() - done, 700);
                const ssize_t n = ::pwrite(fd, v.data() + done, piece, off_t(done));
                faults::check(n > 0, "rewrite");
                done += std::size_t(n);
                std::this_thread::sleep_for(std::chrono::microseconds(pieceUs_));
            }
            faults::check(::ftruncate(fd, off_t(v.size())) == 0, "cut to length");
            ::close(fd);
        }
    }

    std::string path_;
    std::vector<Bytes> versions_;
    long startDelayUs_ = 0;
    long pieceUs_ = 0;
    int heldOpen_ = -1;
    std::thread thread_;
};

// --- Faults ----------------------------------------------------------------

enum class Fault {
    None,
    Deleted,
    ReplacedByFolder,
    ReplacedByPipe,
    MadeReadOnly,
    LinkTargetGone,
    DiskReadOnly,
    RewrittenElsewhere,
    SizeLimit,
    PlayerOpen,
    NothingSelected,
    AppendedMeanwhile,
    RewrittenMeanwhile,
};

const char* faultName(Fault f) {
    switch (f) {
    case Fault::None:
        return "none";
    case Fault::Deleted:
        return "deleted";
    case Fault::ReplacedByFolder:
        return "replaced by a folder";
    case Fault::ReplacedByPipe:
        return "replaced by a pipe";
    case Fault::MadeReadOnly:
        return "made read-only";
    case Fault::LinkTargetGone:
        return "link target removed";
    case Fault::DiskReadOnly:
        return "disk made read-only";
    case Fault::RewrittenElsewhere:
        return "rewritten by another program";
    case Fault::SizeLimit:
        return "file size limit";
    case Fault::PlayerOpen:
        return "player has a file open";
    case Fault::NothingSelected:
        return "nothing selected";
    case Fault::AppendedMeanwhile:
        return "appended to by another program";
    case Fault::RewrittenMeanwhile:
        return "rewritten in place meanwhile";
    }
    return "?";
}

// What the save must do, decided from the file as it is at the click on
// the button.
enum class Outcome { Fail, Succeed, Either };

struct Expectation {
    Outcome outcome = Outcome::Fail;
    std::string file; // the regular file that is written, links followed
    Bytes after;      // its bytes after a successful save
};

Expectation expect(const std::string& path, const Bytes& record, bool refused,
                   std::optional<off_t> limit, bool smallDisk) {
    Expectation e;
    struct stat st {};
    if (refused || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & 0222) == 0)
        return e;
    e.file = path;
    Bytes bytes = faults::readFile(path);
    const bool inPlace = endsInRecord(bytes);
    if (inPlace) bytes.resize(bytes.size() - 128);
    const off_t end = off_t(bytes.size() + 128);
    bytes.insert(bytes.end(), record.begin(), record.end());
    e.after = std::move(bytes);
    if (limit && *limit < end)
        e.outcome = Outcome::Fail;
    else
        e.outcome = smallDisk && !inPlace ? Outcome::Either : Outcome::Succeed;
    return e;
}

// --- The campaign ----------------------------------------------------------

struct Figures {
    long saves = 0;
    long injected = 0;
    long failed = 0;
    long succeeded = 0;
    long diskFull = 0;
    long whileAppending[3] = {}; // replaced, appended, refused
    long whileRewriting[3] = {}; // saved, saved then rewritten, refused
    long onSlowShare[2] = {};    // saved, refused
    long chunksAppended = 0;
    long violations = 0;
    std::map<std::string, long> byFault;
};

class Campaign {
public:
    Campaign(frmBrindlo& w, Pool& pool, std::string root, Rng& rng)
        : w_(w), pool_(pool), root_(std::move(root)), rng_(rng) {}

    std::vector<QString> messages;
    Figures figures;

    void step(long n) {
        std::vector<PoolFile>& files = pool_.files();
        const PoolFile& f = files[std::size_t(rng_.below(int(files.size())))];
        const Fault fault = chooseFault(f);
        ++figures.saves;
        if (fault != Fault::None) ++figures.injected;
        ++figures.byFault[faultName(fault)];
        what_ = "save " + std::to_string(n) + " of \"" + faults::printable(f.name) +
                "\", fault: " + faultName(fault);

        showFolder(f.folder);
        const Snapshot beforeClick = snapshot(root_);
        click(f);
        if (const std::string d = describeDifference(beforeClick, snapshot(root_)); !d.empty())
            violation("the click changed the disk: " + d);
        const QString wanted = files::decodeFileName(QByteArray::fromStdString(f.path()));
        if (w_.varCurrentFile.toString() != wanted) violation("the click did not record the path");
        fillBoxes(w_, rng_);

        std::optional<off_t> limit;
        const bool refused = inject(f, fault, limit);
        const std::string path = fault == Fault::NothingSelected ? f.folder + '/' : f.path();
        const Bytes record = expectedRecord(w_);
        const Expectation e = expect(path, record, refused, limit, f.onSmallDisk);
        const Snapshot before = snapshot(root_);

        messages.clear();
        std::optional<Appender> appender;
        std::optional<Rewriter> rewriter;
        Bytes original;
        if (fault == Fault::AppendedMeanwhile) {
            original = faults::readFile(path);
            appender.emplace(path, std::uint64_t(n) * 7919 + 1);
            if (rng_.chance(0.5)) appender->awaitFirstChunk();
        }
        if (fault == Fault::RewrittenMeanwhile) {
            original = faults::readFile(path);
            rewriter.emplace(path, original, rng_);
        }
        if (limit) {
            const rlimit r{rlim_t(*limit), RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &r);
        }
        QTest::mouseClick(w_.cmdSaveTag.button(), Qt::LeftButton);
        if (limit) {
            const rlimit r{RLIM_INFINITY, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &r);
        }

        if (appender)
            checkAppended(before, e, original, record, *appender, wanted);
        else if (rewriter)
            checkRewritten(before, e, record, *rewriter, wanted);
        else
            checkAfter(before, e, wanted, fault);
        undo(f, fault);
        if (rng_.chance(0.4) || fault != Fault::None) pool_.reset(f, rng_);
        pool_.fillSmallDisk();
        w_.File1.Refresh();
    }

    // One save on a share that waits a little in every call and fails
    // writes and flushes at random: the file is saved whole or left byte for
    // byte as it was, and the message, or its absence, says which.
    void slowStep(long n, testing_support::SlowDisk& disk, const std::vector<QString>& names) {
        const QString name = names[std::size_t(rng_.below(int(names.size())))];
        ++figures.saves;
        ++figures.injected;
        ++figures.byFault["slow share failing writes"];
        what_ = "slow save " + std::to_string(n) + " of \"" + name.toStdString() + "\"";
        disk.set(QStringLiteral("list %1\nopen %2\nread %3\nwrite %4\nflush %5\nfail-write 0.1")
                     .arg(rng_.below(20))
                     .arg(rng_.below(20))
                     .arg(rng_.below(20))
                     .arg(rng_.below(40))
                     .arg(rng_.below(40)));
        const QString folder = disk.mounted(QStringLiteral("share"));
        if (w_.Dir1.Path() != folder) w_.Dir1.setPath(folder);
        QListWidgetItem* item = itemOf(name.toStdString());
        if (!item) {
            violation("the file on the slow share is not listed");
            return;
        }
        if (item->isSelected()) w_.File1.listWidget()->clearSelection();
        clickItem(item);
        settle();
        fillBoxes(w_, rng_);
        const std::string real = disk.source(QStringLiteral("share/") + name).toStdString();
        const Bytes before = faults::readFile(real);
        const Bytes record = expectedRecord(w_);
        Bytes after = before;
        if (endsInRecord(before)) after.resize(after.size() - 128);
        after.insert(after.end(), record.begin(), record.end());

        messages.clear();
        QTest::mouseClick(w_.cmdSaveTag.button(), Qt::LeftButton);
        settle();
        const Bytes got = faults::readFile(real);
        if (messages.size() > 1) violation("more than one message for one save");
        if (!messages.empty()) {
            ++figures.failed;
            ++figures.onSlowShare[1];
            if (got != before) violation("a failed save on the slow share changed the file");
        } else {
            ++figures.succeeded;
            ++figures.onSlowShare[0];
            if (got != after) violation("a save on the slow share did not place one record");
        }
    }

private:
    // Input made while the window waited for the share is handed on once
    // the loop comes round; the checks look after that.
    static void settle() {
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (controls::gateShut());
    }

    Fault chooseFault(const PoolFile& f) {
        if (rng_.chance(0.35)) return Fault::None;
        std::vector<Fault> options = {
            Fault::Deleted,      Fault::ReplacedByFolder,   Fault::ReplacedByPipe,
            Fault::MadeReadOnly, Fault::RewrittenElsewhere, Fault::SizeLimit,
            Fault::SizeLimit,    Fault::PlayerOpen,         Fault::NothingSelected};
        if (!f.linkTo.empty()) options.push_back(Fault::LinkTargetGone);
        // Rewriting a file on the full disk would only fail in our own hands.
        if (f.onSmallDisk) std::erase(options, Fault::RewrittenElsewhere);
        if (f.onSmallDisk) options.push_back(Fault::DiskReadOnly);
        // The appender needs a file it may write, with room to grow.
        if (f.kind != Kind::ReadOnly && !f.onSmallDisk) {
            options.push_back(Fault::AppendedMeanwhile);
            options.push_back(Fault::AppendedMeanwhile);
            options.push_back(Fault::RewrittenMeanwhile);
            options.push_back(Fault::RewrittenMeanwhile);
        }
        return options[std::size_t(rng_.below(int(options.size())))];
    }

    void showFolder(const std::string& folder) {
        const QString path = files::decodeFileName(QByteArray::fromStdString(folder));
        if (w_.Dir1.Path() != path) w_.Dir1.setPath(path);
    }

    QListWidgetItem* itemOf(const std::string& name) {
        // By the name the list holds: what it shows differs for names that
        // are not UTF-8.
        const QString text = files::decodeFileName(QByteArray::fromStdString(name));
        for (int row = 0; row < w_.File1.ListCount(); ++row)
            if (w_.File1.List(row) == text) return w_.File1.listWidget()->item(row);
        return nullptr;
    }

    void clickItem(QListWidgetItem* item, Qt::KeyboardModifiers modifiers = {}) {
        QListWidget* list = w_.File1.listWidget();
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(item).center());
    }

    // A click on a file that is already selected selects nothing new, so
    // another file is clicked first and the reader runs every time.
    void click(const PoolFile& f) {
        QListWidgetItem* item = itemOf(f.name);
        if (!item) {
            violation("the file is not listed");
            return;
        }
        QListWidget* list = w_.File1.listWidget();
        if (item->isSelected()) {
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i) != item) {
                    clickItem(list->item(i));
                    break;
                }
        }
        clickItem(item);
        if (!item->isSelected()) violation("the click did not select the file");
    }

    // Returns whether the save must be refused whatever the file is.
    bool inject(const PoolFile& f, Fault fault, std::optional<off_t>& limit) {
        const std::string path = f.path();
        switch (fault) {
        case Fault::None:
            return false;
        case Fault::Deleted:
            faults::removeAll(path);
            return false;
        case Fault::ReplacedByFolder:
            faults::removeAll(path);
            faults::check(::mkdir(path.c_str(), 0755) == 0, "mkdir");
            return false;
        case Fault::ReplacedByPipe:
            faults::removeAll(path);
            faults::check(::mkfifo(path.c_str(), 0644) == 0, "mkfifo");
            return false;
        case Fault::MadeReadOnly:
            ::chmod(path.c_str(), 0444);
            return false;
        case Fault::LinkTargetGone:
            faults::removeAll(f.linkTo);
            return false;
        case Fault::DiskReadOnly: // as a card whose lock was pushed, or a failing disk
            faults::check(
                ::mount(nullptr, f.folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0,
                "remount read-only");
            return true;
        case Fault::RewrittenElsewhere: {
            Kind kinds[] = {Kind::Tagged, Kind::Untagged, Kind::Short, Kind::Empty};
            faults::writeFile(path, contentOf(kinds[rng_.below(4)], rng_, false),
                              /*keepInode=*/true);
            return false;
        }
        case Fault::SizeLimit: {
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0) return false;
            // Mostly short of what the save needs, partway into the record;
            // sometimes just enough.
            const off_t length = st.st_size;
            const off_t from = rng_.chance(0.5) ? length - 128 : length;
            limit = std::max<off_t>(0, from + rng_.below(rng_.chance(0.8) ? 128 : 400));
            return false;
        }
        case Fault::PlayerOpen:
            w_.media_OpenStateNotify(0, 1);
            return true;
        case Fault::AppendedMeanwhile: // starts with the click on the button
        case Fault::RewrittenMeanwhile:
            return false;
        case Fault::NothingSelected: {
            // Ctrl+click takes the selection away, as in any file list.
            if (QListWidgetItem* item = itemOf(f.name)) clickItem(item, Qt::ControlModifier);
            if (!w_.File1.FileName().isEmpty()) w_.File1.listWidget()->clearSelection();
            return false;
        }
        }
        return false;
    }

    void undo(const PoolFile& f, Fault fault) {
        if (fault == Fault::PlayerOpen) w_.media_OpenStateNotify(0, 0);
        if (fault == Fault::DiskReadOnly)
            faults::check(::mount(nullptr, f.folder.c_str(), nullptr, MS_REMOUNT, nullptr) == 0,
                          "remount writable");
    }

    void checkAfter(const Snapshot& before, const Expectation& e, const QString& wanted,
                    Fault fault) {
        const Snapshot after = snapshot(root_);
        bool reported = false;
        if (messages.size() > 1) violation("more than one message for one save");
        for (const QString& m : messages) {
            if (m.isEmpty()) violation("a message box without text or title");
            reported = true;
        }
        // Which outcome the disk shows: unchanged, or the expected change.
        Snapshot changed = before;
        bool changedFile = false;
        if (!e.file.empty()) {
            struct stat st {};
            ::stat(e.file.c_str(), &st);
            for (auto& [name, entry] : changed) {
                if (entry.device == st.st_dev && entry.inode == st.st_ino &&
                    entry.type == S_IFREG) {
                    entry.hash = faults::hashOf(e.after);
                    entry.size = off_t(e.after.size());
                    changedFile = true;
                }
            }
        }
        const bool unchanged = describeDifference(before, after).empty();
        const bool asExpected = changedFile && describeDifference(changed, after).empty();

        if (e.outcome == Outcome::Fail || (e.outcome == Outcome::Either && reported)) {
            if (!unchanged)
                violation("a failed save changed the disk: " + describeDifference(before, after));
            if (!reported) violation("a save that could not be done was not reported");
            ++figures.failed;
            if (e.outcome == Outcome::Either) ++figures.diskFull;
        } else {
            if (!asExpected)
                violation("the save did not place exactly one record: " +
                          describeDifference(changed, after));
            if (reported)
                violation("a save that was done reported: " + messages.front().toStdString());
            ++figures.succeeded;
        }
        if (fault != Fault::PlayerOpen && fault != Fault::NothingSelected &&
            w_.varCurrentFile.toString() != wanted)
            violation("the save did not record the path it wrote");
        if (!w_.isVisible()) violation("the window is gone");
    }

    // With another program appending, the file holds what it held, with our
    // record in place of its last 128 bytes or after some whole chunk, then
    // every appended byte in order; or, refused, its old bytes and every
    // appended byte. An untagged file is never refused, and a record that
    // ended the file is replaced, never followed by a second one.
    void checkAppended(const Snapshot& before, const Expectation& e, const Bytes& original,
                       const Bytes& record, Appender& appender, const QString& wanted) {
        const Bytes& added = appender.stop();
        figures.chunksAppended += long(appender.starts().size());
        if (w_.varCurrentFile.toString() != wanted) violation("the save did not record the path");
        const std::vector<std::size_t>& starts = appender.starts();
        const Bytes got = faults::readFile(e.file);
        const bool tagged = endsInRecord(original);
        const auto join = [](std::initializer_list<const Bytes*> parts) {
            Bytes out;
            for (const Bytes* p : parts)
                out.insert(out.end(), p->begin(), p->end());
            return out;
        };
        // Every other name is as it was.
        if (const std::string d = otherFilesChanged(before, root_, e.file); !d.empty())
            violation("a save beside an appender changed another file: " + d);

        const bool reported = !messages.empty();
        if (messages.size() > 1) violation("more than one message for one save");
        if (reported) {
            ++figures.failed;
            ++figures.whileAppending[2];
            if (!tagged) violation("an append was refused: " + messages.front().toStdString());
            if (got != join({&original, &added}))
                violation("a refused save changed the file or the appended bytes");
            return;
        }
        ++figures.succeeded;
        if (tagged) {
            Bytes replaced(original.begin(), original.end() - 128);
            if (got == join({&replaced, &record, &added})) {
                ++figures.whileAppending[0];
                return;
            }
        }
        // Appended: after the old bytes and some whole chunks, before the rest.
        const std::size_t base = original.size();
        std::size_t m = 0;
        while (base + m < got.size() && m < added.size() && got[base + m] == added[m])
            ++m;
        const bool atChunk =
            m == added.size() || std::binary_search(starts.begin(), starts.end(), m);
        const Bytes expected = [&] {
            Bytes out = original;
            out.insert(out.end(), added.begin(), added.begin() + long(m));
            out.insert(out.end(), record.begin(), record.end());
            out.insert(out.end(), added.begin() + long(m), added.end());
            return out;
        }();
        if (!atChunk || got != expected) {
            violation("the record is not whole at the end, or appended bytes were lost");
        } else if (tagged && m == 0) {
            violation("a record was appended after a record that ended the file");
        } else {
            ++figures.whileAppending[1];
        }
    }

    // With another program rewriting the file in place, once or a few times
    // in a row, the file ends as its last version, whole, or as that version
    // with our record in its place; any mix of versions, a gap or a second
    // record is damage. A save that reports failure must have left no record
    // of ours; one that reports success may have been written over by a
    // rewrite that came after it.
    void checkRewritten(const Snapshot& before, const Expectation& e, const Bytes& record,
                        Rewriter& rewriter, const QString& wanted) {
        rewriter.finish();
        if (w_.varCurrentFile.toString() != wanted) violation("the save did not record the path");
        const Bytes got = faults::readFile(e.file);
        const Bytes& last = rewriter.versions().back();
        const auto withRecord = [&](const Bytes& base) {
            Bytes out = base;
            if (endsInRecord(base)) out.resize(out.size() - 128);
            out.insert(out.end(), record.begin(), record.end());
            return out;
        };
        if (const std::string d = otherFilesChanged(before, root_, e.file); !d.empty())
            violation("a save beside a rewriter changed another file: " + d);

        const bool reported = !messages.empty();
        if (messages.size() > 1) violation("more than one message for one save");
        reported ? ++figures.failed : ++figures.succeeded;
        if (got == last) {
            ++figures.whileRewriting[reported ? 2 : 1];
        } else if (got == withRecord(last)) {
            ++figures.whileRewriting[0];
            if (reported) violation("a save reported as failed is in the file");
        } else {
            violation("beside a rewriter the file is neither its version nor that version "
                      "with our record");
        }
    }

    void violation(const std::string& what) {
        ++figures.violations;
        if (figures.violations <= 20)
            std::printf("VIOLATION in %s: %s\n", what_.c_str(), what.c_str());
    }

    frmBrindlo& w_;
    Pool& pool_;
    std::string root_;
    Rng& rng_;
    std::string what_;
};

// A tmpfs of our own makes a real full disk. A private mount namespace keeps
// it from the rest of the system and takes it away when we end; it must be
// made before any thread starts. Where that is not allowed the file size
// limit is the only "full disk".
bool privateMountNamespace() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The offscreen platform says so each time the genre drop-down opens.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    const faults::Options options(argc, argv);
    const long saves = options.number("--saves", 5000);
    const long slowSaves = options.number("--slow-saves", 300);
    const std::uint64_t seed = std::uint64_t(options.number("--seed", 1));
    const bool verbose = options.flag("--verbose");
    const bool ownMounts = privateMountNamespace();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatformNotes);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    faults::check(dir.isValid(), "temporary folder");
    const std::string root = dir.path().toStdString();
    for (const char* sub : {"/pool", "/outside", "/tiny"})
        faults::check(::mkdir((root + sub).c_str(), 0755) == 0, "mkdir");
    const std::string tiny = root + "/tiny";
    const bool smallDisk =
        ownMounts && ::mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=64k,mode=0755") == 0;

    Rng rng(seed);
    Pool pool(root, smallDisk);
    const std::string p = root + "/pool", out = root + "/outside";
    const auto add = [&](const std::string& folder, std::string name, Kind kind) {
        pool.add({folder, std::move(name), kind, {}, {}, folder == tiny});
    };
    add(p, "tagged.mp3", Kind::Tagged);
    add(p, "also tagged.MP3", Kind::Tagged);
    add(p, "untagged.mp3", Kind::Untagged);
    add(p, "short.mp3", Kind::Short);
    add(p, "empty.mp3", Kind::Empty);
    add(p, "exact128 tagged.mp3", Kind::Exact128Tagged);
    add(p, "exact128 untagged.mp3", Kind::Exact128Untagged);
    add(p, "read-only.mp3", Kind::ReadOnly);
    add(p, "caf\xe9 latin1.mp3", Kind::Tagged);           // not UTF-8
    add(p, "caf\xef\xbf\xbd latin1.mp3", Kind::Untagged); // U+FFFD: must not be confused
    add(p, "\xff\xfe\x80 raw.mp3", Kind::Untagged);
    add(p, "  spaces  in   it .mp3", Kind::Tagged);
    add(p, "new\nline.mp3", Kind::Untagged);
    add(p, std::string(246, 'x') + ".mp3", Kind::Tagged); // 250 bytes
    pool.add({p, "linked.mp3", Kind::Tagged, out + "/link target.mp3", {}, false});
    pool.add({p, "linked read-only.mp3", Kind::ReadOnly, out + "/ro target.mp3", {}, false});
    add(p, "hard one.mp3", Kind::Untagged);
    pool.add({p, "hard two.mp3", Kind::Untagged, {}, "hard one.mp3", false});
    if (smallDisk) {
        add(tiny, "full tagged.mp3", Kind::Tagged);
        add(tiny, "full untagged.mp3", Kind::Untagged);
        add(tiny, "full short.mp3", Kind::Short);
    }
    pool.createAll(rng);
    pool.fillSmallDisk();

    auto w = std::make_unique<frmBrindlo>(player::MediaPlayer::AudioOutput::Silent);
    w->show();
    Campaign campaign(*w, pool, root, rng);
    controls::setMessageBoxHook(
        [&](const QString& text, const QString& title, controls::MessageIcon icon) {
            // Only our one title and the stop icon count as telling the user.
            const bool proper = title == QStringLiteral("Mp3 Tag Save Error") &&
                                icon == controls::MessageIcon::Critical && !text.isEmpty();
            campaign.messages.push_back(proper ? text : QString());
            if (verbose) std::printf("  message: %s\n", text.toStdString().c_str());
        });

    for (long n = 1; n <= saves; ++n)
        campaign.step(n);
    QString slowShare = QStringLiteral("not tried");
    if (slowSaves > 0) {
        testing_support::SlowDisk disk;
        slowShare = disk.unavailable();
        if (slowShare.isEmpty()) {
            slowShare = QStringLiteral("%1 saves").arg(slowSaves);
            std::vector<QString> names;
            QDir().mkpath(disk.source(QStringLiteral("share")));
            const std::pair<const char*, Kind> kinds[] = {{"tagged.mp3", Kind::Tagged},
                                                          {"untagged.mp3", Kind::Untagged},
                                                          {"short.mp3", Kind::Short},
                                                          {"exact128.mp3", Kind::Exact128Tagged}};
            for (const auto& [name, kind] : kinds) {
                names.push_back(QString::fromLatin1(name));
                faults::writeFile(disk.source(QStringLiteral("share/") + name).toStdString(),
                                  contentOf(kind, rng, false), false);
            }
            for (long n = 1; n <= slowSaves; ++n)
                campaign.slowStep(n, disk, names);
            disk.set({});
            w->Dir1.setPath(QString::fromStdString(root));
        }
    }
    w.reset();
    if (smallDisk) ::umount2(tiny.c_str(), MNT_DETACH);
    // QTemporaryDir cannot remove names that are not UTF-8.
    for (const char* sub : {"/pool", "/outside", "/tiny"})
        faults::removeAll(root + sub);

    const Figures& f = campaign.figures;
    std::printf("save campaign, seed %llu: %ld saves tried, %ld with a fault injected\n",
                static_cast<unsigned long long>(seed), f.saves, f.injected);
    for (const auto& [name, count] : f.byFault)
        std::printf("  %-30s %ld\n", name.c_str(), count);
    std::printf("full disk: %s\n", smallDisk ? "a 64 KiB tmpfs and the file size limit"
                                             : "the file size limit only (no tmpfs here)");
    std::printf("%ld saves done, %ld refused and reported (%ld of them on the full disk)\n",
                f.succeeded, f.failed, f.diskFull);
    std::printf("while another program appended (%ld chunks in all): %ld replaced, %ld "
                "appended, %ld refused\n",
                f.chunksAppended, f.whileAppending[0], f.whileAppending[1], f.whileAppending[2]);
    std::printf("while another program rewrote in place: %ld saved, %ld saved then rewritten "
                "over, %ld refused\n",
                f.whileRewriting[0], f.whileRewriting[1], f.whileRewriting[2]);
    std::printf("slow share (waits and write failures at random): %s: %ld saved, %ld refused\n",
                qPrintable(slowShare), f.onSlowShare[0], f.onSlowShare[1]);
    std::printf("violations: %ld\n", f.violations);
    return f.violations == 0 ? 0 : 1;
}
