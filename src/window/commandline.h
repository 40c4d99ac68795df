#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace window {

// What the command line asks of this run.
struct StartRequest {
    std::optional<int> exitCode; // set: the program ends at once, with it
    QString path;                // the file, folder or file:// URI to open; "" for none
};

// The arguments as lossless text: a name whose bytes are not UTF-8 still
// names its own file (see files/filename.h).
QStringList argumentsOf(int argc, char** argv);

// Reads the command line, printing --help and --version itself. Before Qt
// has taken its own options (-platform, -style...) out, pass
// `qtOptionsLeft`: an option unknown here is then left for the second
// reading instead of refused.
StartRequest readCommandLine(const QStringList& arguments, bool qtOptionsLeft);

} // namespace window
