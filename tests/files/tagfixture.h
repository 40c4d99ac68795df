#pragma once

#include <QString>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tagtest {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder addressed by raw file-name bytes, as the system sees it,
// so names that are not UTF-8 can be made and checked exactly.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool valid() const { return dir_.isValid(); }
    std::string path(const std::string& name) const;   // raw bytes
    static QString asText(const std::string& rawPath); // as the window holds it

    static void write(const std::string& rawPath, const Bytes& bytes);
    static Bytes read(const std::string& rawPath);
    static bool exists(const std::string& rawPath);

    // Every name below the folder with its kind and, for regular files, its
    // bytes: comparing two snapshots shows any change, creation or removal.
    std::string snapshot() const;

private:
    QTemporaryDir dir_;
    std::string root_;
};

// Bytes that look like audio: never "TAG" anywhere, distinct from a record.
Bytes audio(std::size_t size, std::uint8_t seed = 3);

// A record beginning with "TAG" whose other bytes follow from the seed.
std::array<std::uint8_t, 128> record(std::uint8_t seed);

// The peer tools run as shell commands: the exit status, with the standard
// output; a text quoted for the shell; and the python3 that has mutagen
// (Debian's belongs to the system interpreter, which another python3 earlier
// on PATH may not see), or "" when none has.
int run(const std::string& command, std::string* output = nullptr);
std::string quoted(const std::string& s);
std::string mutagenPython();

Bytes operator+(Bytes a, const Bytes& b);
Bytes toBytes(const std::array<std::uint8_t, 128>& r);
Bytes toBytes(const std::string& s);

} // namespace tagtest
