// Fuzz target: the genre code box's number rules on any text.
#include "core/numberreading.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    const double value = genre::readLeadingNumber(text);
    check(!std::isnan(value));
    const double whole = std::floor(value);
    const std::u16string shown = genre::wholeNumberText(whole);
    check(std::isfinite(whole) != shown.empty());
    if (!std::isfinite(whole)) return 0;
    check(shown.find(u' ') == std::u16string::npos);

    // The box's handler writes that text back and reads it again: it must
    // settle at once, or the handler would run on without end.
    const double reread = std::floor(genre::readLeadingNumber(shown));
    check(genre::wholeNumberText(reread) == shown);
    if (std::fabs(whole) < 1e15) check(reread == whole);

    (void)genre::toInt16Rounded(whole - 1);
    return 0;
}
