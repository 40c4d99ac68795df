#pragma once

#include "files/tagfile.h"

#include <QString>

namespace tag {

// Why a save failed, in plain words for the message box: what the file
// layer's codes mean to the user. Empty for a save that succeeded.
QString saveFailureReason(const files::WriteResult& result);

} // namespace tag
