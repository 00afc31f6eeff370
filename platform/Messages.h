// The platform layer's own message texts, used exactly as they stand.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";
inline constexpr const char* SInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* SOutOfMemory = "Out of memory";
inline constexpr const char* SCreateFileError = "Cannot create file %s";

// Replaces each "%s" of format, in order, by the next argument; "%%" is a percent sign.
std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args);

} // namespace platform
