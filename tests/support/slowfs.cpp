// A pass-through file system in user space that waits before the operations
// a network share is slow at, and fails writes at random on request: the
// slow and dead disks of the tests, the benchmark and the save campaign.
//
//   brindlo-slowfs SOURCE MOUNTPOINT CONTROL
//
// CONTROL is a text file read again whenever it changes, one setting a line:
//   list MS     before each folder listing (opendir, readdir)
//   open MS     before each open and create
//   read MS     before each read
//   write MS    before each write
//   flush MS    before each flush and fsync
//   fail-write P   each write and fsync fails (EIO) with chance P, 0 to 1
// A delay of -1 never ends: the operation waits until the setting changes
// or the file system is taken away. Missing settings are 0.
#define FUSE_USE_VERSION 35
#include <fuse3/fuse.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

enum Op { List, Open, Read, Write, Flush, kOps };

struct Settings {
    long delayMs[kOps] = {};
    double failWrite = 0;
};

std::string source;
std::string controlFile;
std::mutex lock;
Settings settings;
struct timespec controlSeen {};
std::mt19937_64 rng(12345);

Settings current() {
    std::lock_guard<std::mutex> guard(lock);
    struct stat st {};
    if (::stat(controlFile.c_str(), &st) == 0 &&
        (st.st_mtim.tv_sec != controlSeen.tv_sec || st.st_mtim.tv_nsec != controlSeen.tv_nsec ||
         st.st_size == 0)) {
        controlSeen = st.st_mtim;
        Settings fresh;
        std::ifstream in(controlFile);
        std::string key;
        double value = 0;
        static const char* const names[kOps] = {"list", "open", "read", "write", "flush"};
        while (in >> key >> value) {
            for (int op = 0; op < kOps; ++op)
                if (key == names[op]) fresh.delayMs[op] = static_cast<long>(value);
            if (key == "fail-write") fresh.failWrite = value;
        }
        settings = fresh;
    }
    return settings;
}

void delay(Op op) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const long ms = current().delayMs[op];
        if (ms == 0) return;
        const auto waited = std::chrono::steady_clock::now() - start;
        if (ms > 0 && waited >= std::chrono::milliseconds(ms)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool writeFails() {
    const double p = current().failWrite;
    if (p <= 0) return false;
    std::lock_guard<std::mutex> guard(lock);
    return std::uniform_real_distribution<double>(0, 1)(rng) < p;
}

std::string real(const char* path) {
    return source + path;
}

int fail() {
    return -errno;
}

void* on_init(fuse_conn_info*, fuse_config* cfg) {
    // Every look and every read reaches us, so every one can be slow.
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1;
    cfg->use_ino = 1;
    return nullptr;
}

int on_getattr(const char* path, struct stat* st, fuse_file_info* fi) {
    const int r = fi ? ::fstat(int(fi->fh), st) : ::lstat(real(path).c_str(), st);
    return r == 0 ? 0 : fail();
}

int on_access(const char* path, int mask) {
    return ::access(real(path).c_str(), mask) == 0 ? 0 : fail();
}

int on_readlink(const char* path, char* buf, size_t size) {
    const ssize_t n = ::readlink(real(path).c_str(), buf, size - 1);
    if (n < 0) return fail();
    buf[n] = '\0';
    return 0;
}

int on_opendir(const char* path, fuse_file_info* fi) {
    delay(List);
    // A share refuses a folder without read access to anyone, root too.
    struct stat st {};
    if (::stat(real(path).c_str(), &st) == 0 && (st.st_mode & S_IRUSR) == 0) return -EACCES;
    DIR* d = ::opendir(real(path).c_str());
    if (!d) return fail();
    fi->fh = reinterpret_cast<std::uintptr_t>(d);
    return 0;
}

int on_readdir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
               fuse_readdir_flags) {
    delay(List);
    DIR* d = reinterpret_cast<DIR*>(fi->fh);
    ::rewinddir(d);
    while (const dirent* e = ::readdir(d)) {
        struct stat st {};
        st.st_ino = e->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
        if (fill(buf, e->d_name, &st, 0, fuse_fill_dir_flags(0))) break;
    }
    return 0;
}

int on_releasedir(const char*, fuse_file_info* fi) {
    ::closedir(reinterpret_cast<DIR*>(fi->fh));
    return 0;
}

int on_mkdir(const char* path, mode_t mode) {
    return ::mkdir(real(path).c_str(), mode) == 0 ? 0 : fail();
}
int on_unlink(const char* path) {
    return ::unlink(real(path).c_str()) == 0 ? 0 : fail();
}
int on_rmdir(const char* path) {
    return ::rmdir(real(path).c_str()) == 0 ? 0 : fail();
}
int on_symlink(const char* from, const char* to) {
    return ::symlink(from, real(to).c_str()) == 0 ? 0 : fail();
}
int on_rename(const char* from, const char* to, unsigned int flags) {
    if (flags) return -EINVAL;
    return ::rename(real(from).c_str(), real(to).c_str()) == 0 ? 0 : fail();
}
int on_chmod(const char* path, mode_t mode, fuse_file_info*) {
    return ::chmod(real(path).c_str(), mode) == 0 ? 0 : fail();
}
int on_chown(const char* path, uid_t uid, gid_t gid, fuse_file_info*) {
    return ::lchown(real(path).c_str(), uid, gid) == 0 ? 0 : fail();
}
int on_truncate(const char* path, off_t size, fuse_file_info* fi) {
    const int r = fi ? ::ftruncate(int(fi->fh), size) : ::truncate(real(path).c_str(), size);
    return r == 0 ? 0 : fail();
}
int on_utimens(const char* path, const struct timespec tv[2], fuse_file_info* fi) {
    const int r = fi ? ::futimens(int(fi->fh), tv)
                     : ::utimensat(AT_FDCWD, real(path).c_str(), tv, AT_SYMLINK_NOFOLLOW);
    return r == 0 ? 0 : fail();
}

int on_open(const char* path, fuse_file_info* fi) {
    delay(Open);
    const int fd = ::open(real(path).c_str(), fi->flags & ~O_NONBLOCK);
    if (fd < 0) return fail();
    fi->fh = std::uint64_t(fd);
    return 0;
}

int on_create(const char* path, mode_t mode, fuse_file_info* fi) {
    delay(Open);
    const int fd = ::open(real(path).c_str(), fi->flags, mode);
    if (fd < 0) return fail();
    fi->fh = std::uint64_t(fd);
    return 0;
}

int on_read(const char*, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    delay(Read);
    const ssize_t n = ::pread(int(fi->fh), buf, size, offset);
    return n < 0 ? fail() : int(n);
}

int on_write(const char*, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    delay(Write);
    if (writeFails()) return -EIO;
    // The kernel passes appends with the offset of the end it saw.
    const ssize_t n = ::pwrite(int(fi->fh), buf, size, offset);
    return n < 0 ? fail() : int(n);
}

int on_statfs(const char* path, struct statvfs* st) {
    return ::statvfs(real(path).c_str(), st) == 0 ? 0 : fail();
}

int on_flush(const char*, fuse_file_info*) {
    delay(Flush);
    return 0;
}

int on_fsync(const char*, int, fuse_file_info* fi) {
    delay(Flush);
    if (writeFails()) return -EIO;
    return ::fsync(int(fi->fh)) == 0 ? 0 : fail();
}

int on_release(const char*, fuse_file_info* fi) {
    ::close(int(fi->fh));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SOURCE MOUNTPOINT CONTROL\n", argv[0]);
        return 2;
    }
    char* resolved = ::realpath(argv[1], nullptr);
    if (!resolved) {
        std::perror(argv[1]);
        return 2;
    }
    source = resolved;
    std::free(resolved);
    // The daemon moves to "/", so relative names would point elsewhere.
    char* control = ::realpath(argv[3], nullptr);
    if (!control) {
        std::perror(argv[3]);
        return 2;
    }
    controlFile = control;
    std::free(control);
    ::umask(0);

    fuse_operations ops{};
    ops.init = on_init;
    ops.getattr = on_getattr;
    ops.access = on_access;
    ops.readlink = on_readlink;
    ops.opendir = on_opendir;
    ops.readdir = on_readdir;
    ops.releasedir = on_releasedir;
    ops.mkdir = on_mkdir;
    ops.unlink = on_unlink;
    ops.rmdir = on_rmdir;
    ops.symlink = on_symlink;
    ops.rename = on_rename;
    ops.chmod = on_chmod;
    ops.chown = on_chown;
    ops.truncate = on_truncate;
    ops.utimens = on_utimens;
    ops.open = on_open;
    ops.create = on_create;
    ops.read = on_read;
    ops.write = on_write;
    ops.statfs = on_statfs;
    ops.flush = on_flush;
    ops.fsync = on_fsync;
    ops.release = on_release;

    // Foreground, so the test that started us ends us by our PID.
    char name[] = "brindlo-slowfs";
    char foreground[] = "-f";
    char option[] = "-o";
    char options[] = "fsname=slowfs,subtype=slowfs,default_permissions,max_threads=64";
    char* args[] = {name, foreground, option, options, argv[2], nullptr};
    return fuse_main(5, args, &ops, nullptr);
}
