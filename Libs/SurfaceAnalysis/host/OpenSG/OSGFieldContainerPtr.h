#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace osg
{
// The null field-container pointer; compares equal to every empty FCPtr.
inline constexpr std::nullptr_t NullFC = nullptr;

// Reference-counting pointer to a field container. Copies add a reference,
// destruction drops one; the container dies with its last reference.
template <class T> class FCPtr
{
public:
    typedef T StoredObjectType;

    FCPtr() = default;
    FCPtr(std::nullptr_t) {}
    explicit FCPtr(T* p) : _p(p) { acquire(); }
    FCPtr(const FCPtr& o) : _p(o._p) { acquire(); }
    FCPtr(FCPtr&& o) noexcept : _p(o._p) { o._p = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    FCPtr(const FCPtr<U>& o) : _p(o.get())
    {
        acquire();
    }
    ~FCPtr() { release(); }

    FCPtr& operator=(const FCPtr& o)
    {
        FCPtr(o).swap(*this);
        return *this;
    }
    FCPtr& operator=(FCPtr&& o) noexcept
    {
        FCPtr(std::move(o)).swap(*this);
        return *this;
    }
    FCPtr& operator=(std::nullptr_t)
    {
        FCPtr().swap(*this);
        return *this;
    }

    // OpenSG's checked down-cast: null when the container is of another type.
    template <class U> static FCPtr dcast(const FCPtr<U>& o) { return FCPtr(dynamic_cast<T*>(o.get())); }

    T* get() const { return _p; }
    T* operator->() const { return _p; }
    T& operator*() const { return *_p; }
    explicit operator bool() const { return _p != nullptr; }
    void swap(FCPtr& o) noexcept { std::swap(_p, o._p); }

private:
    void acquire()
    {
        if (_p)
            _p->addRef();
    }
    void release()
    {
        if (_p)
            _p->subRef();
        _p = nullptr;
    }

    T* _p = nullptr;
};

template <class T, class U> bool operator==(const FCPtr<T>& a, const FCPtr<U>& b)
{
    return static_cast<const void*>(a.get()) == static_cast<const void*>(b.get());
}
template <class T, class U> bool operator!=(const FCPtr<T>& a, const FCPtr<U>& b)
{
    return !(a == b);
}
template <class T> bool operator==(const FCPtr<T>& a, std::nullptr_t)
{
    return a.get() == nullptr;
}
template <class T> bool operator!=(const FCPtr<T>& a, std::nullptr_t)
{
    return a.get() != nullptr;
}
template <class T> bool operator==(std::nullptr_t, const FCPtr<T>& a)
{
    return a.get() == nullptr;
}
template <class T> bool operator!=(std::nullptr_t, const FCPtr<T>& a)
{
    return a.get() != nullptr;
}
template <class T> bool operator<(const FCPtr<T>& a, const FCPtr<T>& b)
{
    return a.get() < b.get();
}
} // namespace osg
