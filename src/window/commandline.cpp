#include "window/commandline.h"

#include "files/filename.h"

#include <QCommandLineParser>

#include <cstdio>

namespace window {
namespace {

// Written out, not Qt's generated text: GNU's layout, and no application
// object is needed to print it.
constexpr const char* kHelp =
    "Usage: brindlo [OPTION]... [FILE | FOLDER]\n"
    "Browse folders of MP3 files, edit their ID3v1 tags and play them.\n"
    "\n"
    "With a FILE, the window opens at the file's folder with the file selected\n"
    "and its tag shown; with a FOLDER, at that folder. A file:// URI may stand\n"
    "for either. Of several, the first is opened. A path that cannot be opened\n"
    "is reported on standard error, and the window opens at / as without one.\n"
    "\n"
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n";

constexpr const char* kVersion =
    "brindlo " BRINDLO_VERSION "\n"
    "Copyright (C) 2026 The Brindlo developers\n"
    "License MIT <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(files::decodeFileName(QByteArray(argv[i])));
    return arguments;
}

StartRequest readCommandLine(const QStringList& arguments, bool qtOptionsLeft) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("path"), QString());

    StartRequest request;
    if (!parser.parse(arguments)) {
        if (qtOptionsLeft) return request;
        std::fprintf(stderr, "brindlo: %s\nTry 'brindlo --help' for more information.\n",
                     parser.errorText().toLower().toLocal8Bit().constData());
        request.exitCode = 1;
        return request;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        std::fputs(parser.isSet(help) ? kHelp : kVersion, stdout);
        std::fflush(stdout);
        request.exitCode = 0;
        return request;
    }
    if (!parser.positionalArguments().isEmpty())
        request.path = parser.positionalArguments().constFirst();
    return request;
}

} // namespace window
