// Text from files the system reads as text (language tables, settings) is
// made valid UTF-8 before use: each byte outside a valid sequence becomes
// U+FFFD. File names keep their bytes instead (Text.h).
#pragma once

#include "platform/base/Export.h"

#include <string>
#include <string_view>

namespace vexa::base {

VEXA_BASE_API std::string ToValidUtf8(std::string_view text);

}  // namespace vexa::base
