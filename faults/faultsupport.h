#pragma once

// Small helpers that both fault campaigns share: options, a seeded random
// source, and raw file access by byte-string paths, so that names that are
// not UTF-8 are made and read exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faults {

using Bytes = std::vector<std::uint8_t>;

// The campaign's own set-up failing is not a finding: stop at once, loudly.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "set-up failed: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

class Options {
public:
    Options(int argc, char** argv) : args_(argv + 1, argv + argc) {}
    long number(const char* name, long fallback) const {
        for (std::size_t i = 0; i + 1 < args_.size(); ++i)
            if (args_[i] == name) return std::strtol(args_[i + 1].c_str(), nullptr, 10);
        return fallback;
    }
    bool flag(const char* name) const {
        for (const std::string& a : args_)
            if (a == name) return true;
        return false;
    }

private:
    std::vector<std::string> args_;
};

class Rng {
public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}
    int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(engine_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < p; }

private:
    std::mt19937_64 engine_;
};

inline std::uint64_t hashOf(const Bytes& bytes) {
    std::uint64_t h = 14695981039346656037ull; // FNV-1a
    for (const std::uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h ^ bytes.size();
}

// Never blocks: a pipe gives nothing rather than waiting for a writer.
inline Bytes readFile(const std::string& path) {
    Bytes out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return out;
    std::uint8_t buf[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.insert(out.end(), buf, buf + n);
    ::close(fd);
    return out;
}

// keepInode rewrites the file in place, as an editor that saves over the
// file does, so its hard links see the new bytes too.
inline void writeFile(const std::string& path, const Bytes& bytes, bool keepInode = false) {
    if (!keepInode) ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(fd >= 0, "create file");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        check(n > 0, "write file");
        done += std::size_t(n);
    }
    ::close(fd);
}

inline void removeAll(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = ::opendir(path.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") removeAll(path + '/' + name);
            }
            ::closedir(d);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

// A raw name for a report: bytes outside printable ASCII as \xNN.
inline std::string printable(const std::string& raw) {
    std::string out;
    for (const unsigned char c : raw) {
        if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out.size() > 60 ? out.substr(0, 28) + "..." + out.substr(out.size() - 28) : out;
}

} // namespace faults
