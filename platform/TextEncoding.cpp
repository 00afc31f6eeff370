#include "platform/TextEncoding.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace platform {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};

// Converts text between two encodings; a byte sequence the source encoding
// does not define, or a character the target lacks, becomes `replacement`.
std::string Convert(std::string_view input, const char* to, const char* from,
                    std::string_view replacement) {
    const iconv_t handle = ::iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1)) { // NOLINT(performance-no-int-to-ptr)
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    const std::unique_ptr<void, IconvCloser> closer(handle);

    std::string output;
    output.reserve(input.size() * 2);
    char buffer[1024];
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = ::iconv(handle, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL: skip one source byte, or one whole UTF-8
            // sequence when the source is UTF-8, and put the replacement.
            std::size_t skip = 1;
            if (std::string_view(from) == "UTF-8") {
                const auto lead = static_cast<unsigned char>(*in);
                skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                if (skip > inLeft) {
                    skip = inLeft;
                }
                for (std::size_t i = 1; i < skip; ++i) {
                    if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) {
                        skip = i;
                        break;
                    }
                }
            }
            in += skip;
            inLeft -= skip;
            output.append(replacement);
            ::iconv(handle, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return output;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    return Convert(cp1251, "UTF-8", "CP1251", "\xEF\xBF\xBD");
}

std::string Utf8ToCp1251(std::string_view utf8) {
    return Convert(utf8, "CP1251", "UTF-8", "?");
}

} // namespace platform
