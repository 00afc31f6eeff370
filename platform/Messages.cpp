#include "platform/Messages.h"

namespace platform {

std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string text;
    text.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 's') {
                if (next != args.end()) {
                    text += *next++;
                }
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                text += '%';
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

} // namespace platform
