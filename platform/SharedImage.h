// Intrusive reference counting for image data shared between graphics.
//
// A record derived from TSharedImage starts with a count of 0; its creator takes
// the first reference at once. When the last reference is released, FreeHandle
// runs and the record deletes itself, so records live on the heap only. The count
// is a plain integer: shared records belong to one thread.
#pragma once

#include <utility>

namespace platform {

class TSharedImage {
public:
    TSharedImage() = default;
    TSharedImage(const TSharedImage&) = delete;
    TSharedImage& operator=(const TSharedImage&) = delete;

    void Reference() const { ++refCount_; }
    void Release() const {
        if (--refCount_ == 0) {
            auto* self = const_cast<TSharedImage*>(this);
            self->FreeHandle();
            delete self;
        }
    }
    int RefCount() const { return refCount_; }

protected:
    virtual ~TSharedImage() = default;
    // Frees what the record holds, just before the record is destroyed.
    virtual void FreeHandle() {}

private:
    mutable int refCount_ = 0;
};

// One counted reference to a shared record; absent when null. Copying takes
// another reference, destruction releases it.
template <class T> class TSharedRef {
public:
    TSharedRef() = default;
    explicit TSharedRef(T* record) : record_(record) {
        if (record_ != nullptr) {
            record_->Reference();
        }
    }
    TSharedRef(const TSharedRef& other) : TSharedRef(other.record_) {}
    TSharedRef(TSharedRef&& other) noexcept : record_(std::exchange(other.record_, nullptr)) {}
    // Safe for self-assignment: Reset takes the new reference before it
    // releases the old one.
    TSharedRef& operator=(const TSharedRef& other) { // NOLINT(bugprone-unhandled-self-assignment)
        Reset(other.record_);
        return *this;
    }
    TSharedRef& operator=(TSharedRef&& other) noexcept {
        if (this != &other) {
            T* old = std::exchange(record_, std::exchange(other.record_, nullptr));
            if (old != nullptr) {
                old->Release();
            }
        }
        return *this;
    }
    ~TSharedRef() { Reset(); }

    // Takes a reference to record (may be null) and releases the one held.
    void Reset(T* record = nullptr) {
        if (record != nullptr) {
            record->Reference();
        }
        T* old = std::exchange(record_, record);
        if (old != nullptr) {
            old->Release();
        }
    }

    T* Get() const { return record_; }
    T* operator->() const { return record_; }
    T& operator*() const { return *record_; }
    explicit operator bool() const { return record_ != nullptr; }

private:
    T* record_ = nullptr;
};

} // namespace platform
