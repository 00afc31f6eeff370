// Exception classes of the platform layer. Every failure of the program travels
// as one of these; the message is UTF-8 text shown to the user as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Ends an operation silently: the top-level handler shows nothing for it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};

class EStreamError : public Exception {
    using Exception::Exception;
};

class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path) : EStreamError("Cannot create file " + path) {}
};

class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path) : EStreamError("Cannot open file " + path) {}
};

class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};

class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
};

class EInvalidGraphic : public Exception {
    using Exception::Exception;
};

class EInvalidGraphicOperation : public Exception {
    using Exception::Exception;
};

class EConvertError : public Exception {
    using Exception::Exception;
};

} // namespace platform
