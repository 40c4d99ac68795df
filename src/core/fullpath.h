#pragma once

#include <string>
#include <string_view>

namespace browse {

// A folder and a name joined by one separator: none is added when the
// folder already ends with one. Nothing else is checked or changed.
std::u16string joinFolderAndName(std::u16string_view folder, std::u16string_view name,
                                 char16_t separator);

} // namespace browse
