// Conversion between Windows-1251 bytes (the program's record text) and UTF-8
// (Qt's and the file system's text), through glibc's iconv.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Every Windows-1251 byte converts; the one unassigned byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Characters without a Windows-1251 byte become '?'; malformed UTF-8 bytes too.
std::string Utf8ToCp1251(std::string_view utf8);

} // namespace platform
