// The counted handle behind SourceRef and SinkRef: it always holds an object (an unset
// handle holds a fresh Placeholder), and the last release deletes it. T carries a plain
// RefCount: objects held this way are used by one thread at a time. One graph may be held
// by every entry of a long list, so the count is 32 bits wide, and a count that would
// wrap stops the process rather than free an object that is still held.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace sonimo {

using RefCount = std::uint32_t;

template <class T, class Placeholder> class CountedRef {
public:
    CountedRef() : object_(new Placeholder) { take(object_); }
    explicit CountedRef(T* object) : object_(object ? object : new Placeholder) { take(object_); }
    CountedRef(const CountedRef& other) : object_(other.object_) { take(object_); }
    CountedRef& operator=(const CountedRef& other) {
        T* old = object_;
        take(other.object_); // first, so that self-assignment keeps the object alive
        object_ = other.object_;
        drop(old);
        return *this;
    }
    ~CountedRef() { drop(object_); }

    // Drops the reference (destroying the object if it was the last) and holds a fresh placeholder.
    void release() {
        T* fresh = new Placeholder;
        take(fresh);
        T* old = object_;
        object_ = fresh;
        drop(old);
    }
    void reset() { release(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }

private:
    static void take(T* object) {
        if (object->refCount == std::numeric_limits<RefCount>::max()) std::abort();
        ++object->refCount;
    }
    static void drop(T* object) {
        if (--object->refCount == 0) delete object;
    }
    T* object_; // owned: one counted reference
};

} // namespace sonimo
