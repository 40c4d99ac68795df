#include "core/fullpath.h"

namespace browse {

std::u16string joinFolderAndName(std::u16string_view folder, std::u16string_view name,
                                 char16_t separator) {
    std::u16string path(folder);
    if (path.empty() || path.back() != separator)
        path += separator;
    path += name;
    return path;
}

} // namespace browse
