#include "platform/Persistent.h"

#include "platform/Exceptions.h"
#include "platform/Messages.h"

namespace platform {

void TPersistent::Assign(const TPersistent* source) {
    if (source == nullptr) {
        throw EConvertError(AssignErrorMessage(nullptr, *this));
    }
    source->AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& destination) const {
    throw EConvertError(AssignErrorMessage(this, destination));
}

std::string AssignErrorMessage(const TPersistent* source, const TPersistent& destination) {
    return FormatMessage(
        SAssignError, {source != nullptr ? source->ClassName() : "nil", destination.ClassName()});
}

} // namespace platform
