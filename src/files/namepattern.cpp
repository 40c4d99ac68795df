#include "files/namepattern.h"

#include <algorithm>

namespace files {
namespace {

// Glob match of one pattern with "*" and "?", both sides already folded.
bool globMatch(QStringView name, QStringView pattern) {
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++, starN = n;
        } else if (starP >= 0) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

NamePattern::NamePattern(const QString& pattern) {
    for (const QString& one : pattern.split(u';', Qt::SkipEmptyParts))
        folded_.append(one.trimmed().toCaseFolded());
}

bool NamePattern::matchesFolded(const QString& folded) const {
    return std::any_of(folded_.cbegin(), folded_.cend(),
                       [&](const QString& one) { return globMatch(folded, one); });
}

} // namespace files
