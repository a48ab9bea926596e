// Access to fields that two threads meet in. Writers use the interlocked calls; every other read
// or write of such a field goes through these, so the records keep their plain layout.
#pragma once

#include <atomic>

template <class T> inline T sharedLoad(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load();
}

template <class T> inline void sharedStore(T& field, T value) {
    std::atomic_ref<T>(field).store(value);
}
