#include "tagfixture.h"

#include "files/filename.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace tagtest {

namespace fs = std::filesystem;

TempFolder::TempFolder() : root_(dir_.path().toStdString()) {}

// QTemporaryDir goes by decoded names and cannot remove one that is not
// UTF-8; the raw bytes can.
TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string TempFolder::path(const std::string& name) const {
    return root_ + "/" + name;
}

QString TempFolder::asText(const std::string& rawPath) {
    return files::decodeFileName(QByteArray::fromStdString(rawPath));
}

void TempFolder::write(const std::string& rawPath, const Bytes& bytes) {
    std::ofstream out(rawPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write fixture " << rawPath;
}

Bytes TempFolder::read(const std::string& rawPath) {
    std::ifstream in(rawPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempFolder::exists(const std::string& rawPath) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(rawPath, ec));
}

std::string TempFolder::snapshot() const {
    std::ostringstream out;
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        const auto status = entry.symlink_status();
        std::string line = entry.path().string() + " type=" + std::to_string(int(status.type()));
        if (fs::is_regular_file(status)) {
            const Bytes b = read(entry.path().string());
            line += " size=" + std::to_string(b.size()) + " bytes=";
            line.append(b.begin(), b.end());
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& l : lines)
        out << l << '\n';
    return out.str();
}

Bytes audio(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = std::uint8_t(seed + i * 7); // steps of 7 never spell "TAG"
    return b;
}

std::array<std::uint8_t, 128> record(std::uint8_t seed) {
    std::array<std::uint8_t, 128> r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = std::uint8_t(seed * 31 + i * 13);
    r[0] = 'T', r[1] = 'A', r[2] = 'G';
    return r;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes toBytes(const std::array<std::uint8_t, 128>& r) {
    return Bytes(r.begin(), r.end());
}

Bytes toBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

int run(const std::string& command, std::string* output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        if (output) output->append(buf, n);
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string mutagenPython() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (run(std::string(python) + " -c 'import mutagen' >/dev/null 2>&1") == 0) return python;
    }
    return {};
}

} // namespace tagtest
