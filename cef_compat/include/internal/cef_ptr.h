// CefRefPtr: holds one reference to a counted object (AddRef on take, Release on drop).
// As in CEF it has no move operations: std::move copies and the source keeps its reference, so
// taking a pointer out of a member is written as swap() or an assignment of nullptr.
#pragma once

#include <cstddef>
#include <utility>

template <class T>
class CefRefPtr {
public:
    CefRefPtr() = default;
    CefRefPtr(T* p) : ptr_(p)
    {
        if (ptr_)
            ptr_->AddRef();
    }
    CefRefPtr(const CefRefPtr<T>& r) : CefRefPtr(r.ptr_) {}
    template <typename U>
    CefRefPtr(const CefRefPtr<U>& r) : CefRefPtr(r.get())
    {
    }
    ~CefRefPtr()
    {
        if (ptr_)
            ptr_->Release();
    }

    T* get() const { return ptr_; }
    operator T*() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }

    CefRefPtr<T>& operator=(T* p)
    {
        // AddRef first, so that assigning an object to itself keeps it alive.
        if (p)
            p->AddRef();
        T* old = ptr_;
        ptr_ = p;
        if (old)
            old->Release();
        return *this;
    }
    CefRefPtr<T>& operator=(const CefRefPtr<T>& r) { return *this = r.ptr_; }
    template <typename U>
    CefRefPtr<T>& operator=(const CefRefPtr<U>& r)
    {
        return *this = r.get();
    }

    void swap(T** pp) { std::swap(ptr_, *pp); }
    void swap(CefRefPtr<T>& r) { std::swap(ptr_, r.ptr_); }

private:
    T* ptr_ = nullptr;
};
