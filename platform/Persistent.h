// The root of the assignable objects: assignment dispatched on the source's
// class. A class handles the sources it knows in Assign and the destinations it
// knows in AssignTo; anything else fails with "Cannot assign a %s to a %s".
#pragma once

#include <string>

namespace platform {

class TPersistent {
public:
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;
    virtual ~TPersistent() = default;

    virtual const char* ClassName() const { return "TPersistent"; }

    // Replaces this object's content from source (nullptr: no source). The base
    // asks the source to assign itself here and fails when it cannot.
    virtual void Assign(const TPersistent* source);

protected:
    // Copies this object into destination; the base fails with EConvertError.
    virtual void AssignTo(TPersistent& destination) const;
};

// The message "Cannot assign a <source> to a <destination>".
std::string AssignErrorMessage(const TPersistent* source, const TPersistent& destination);

} // namespace platform
