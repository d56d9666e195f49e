// The counted handle behind SourceRef and SinkRef: it always holds an object (an unset
// handle holds a fresh Placeholder), and the last release deletes it. T carries a plain
// uint16 refCount: objects held this way are used by one thread at a time.
#pragma once

namespace sonimo {

template <class T, class Placeholder> class CountedRef {
public:
    CountedRef() : object_(new Placeholder) { ++object_->refCount; }
    explicit CountedRef(T* object) : object_(object ? object : new Placeholder) { ++object_->refCount; }
    CountedRef(const CountedRef& other) : object_(other.object_) { ++object_->refCount; }
    CountedRef& operator=(const CountedRef& other) {
        T* old = object_;
        ++other.object_->refCount; // first, so that self-assignment keeps the object alive
        object_ = other.object_;
        drop(old);
        return *this;
    }
    ~CountedRef() { drop(object_); }

    // Drops the reference (destroying the object if it was the last) and holds a fresh placeholder.
    void release() {
        T* fresh = new Placeholder;
        ++fresh->refCount;
        T* old = object_;
        object_ = fresh;
        drop(old);
    }
    void reset() { release(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }

private:
    static void drop(T* object) {
        if (--object->refCount == 0) delete object;
    }
    T* object_; // owned: one counted reference
};

} // namespace sonimo
