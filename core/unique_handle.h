// The one way this house owns a handle or a file descriptor: closed once, when its owner
// goes or is reset; movable, never copied. Traits give the type, the "no handle" value and
// the close call, so a Windows handle and a POSIX descriptor share this holder:
//   struct Traits { using Value = ...; static Value Empty(); static bool Valid(Value);
//                   static bool Close(Value); };
#pragma once

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value value) : value_(value) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Value Get() const { return value_; }
    bool Valid() const { return Traits::Valid(value_); }
    // The caller owns the value from now on.
    Value Release() { return std::exchange(value_, Traits::Empty()); }
    // Closes what is held (its outcome unheard, as on any way out) and holds value instead.
    void Reset(Value value = Traits::Empty()) {
        if (Valid()) Traits::Close(value_);
        value_ = value;
    }
    // Closes now, for the one caller that must hear the outcome (a file's last write can fail
    // at its close); true when nothing was held.
    bool Close() {
        const Value value = Release();
        return !Traits::Valid(value) || Traits::Close(value);
    }

private:
    Value value_ = Traits::Empty();
};
