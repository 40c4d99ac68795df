#pragma once

#include <QString>
#include <QStringList>

namespace files {

// A file name pattern such as "*.mp3" with "*" and "?", letter case
// ignored; several patterns may be given separated by ";".
class NamePattern {
public:
    explicit NamePattern(const QString& pattern);
    bool matchesFolded(const QString& folded) const; // a name already case-folded

private:
    QStringList folded_; // folded once, not once per name
};

} // namespace files
