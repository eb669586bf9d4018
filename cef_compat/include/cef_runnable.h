// Tasks made from a function or a method and its arguments (copied into the task).
#pragma once

#include <tuple>
#include <utility>

#include "include/cef_task.h"

namespace cef_compat_detail {

template <class Function, class... Args>
class CefRunnableFunction : public CefTask {
public:
    CefRunnableFunction(Function function, Args... args) : function_(function), args_(std::move(args)...) {}
    void Execute() OVERRIDE { std::apply(function_, args_); }

private:
    Function function_;
    std::tuple<Args...> args_;
    IMPLEMENT_REFCOUNTING(CefRunnableFunction)
};

// Holds a reference to the object until the task is destroyed.
template <class T, class Method, class... Args>
class CefRunnableMethod : public CefTask {
public:
    CefRunnableMethod(T* object, Method method, Args... args)
        : object_(object),
          method_(method),
          args_(std::move(args)...)
    {
    }
    void Execute() OVERRIDE
    {
        std::apply([this](auto&... a) { (object_.get()->*method_)(a...); }, args_);
    }

private:
    CefRefPtr<T> object_;
    Method method_;
    std::tuple<Args...> args_;
    IMPLEMENT_REFCOUNTING(CefRunnableMethod)
};

} // namespace cef_compat_detail

template <class T, class Method, class... Args>
CefRefPtr<CefTask> NewCefRunnableMethod(T* object, Method method, const Args&... args)
{
    return new cef_compat_detail::CefRunnableMethod<T, Method, Args...>(object, method, args...);
}

template <class Function, class... Args>
CefRefPtr<CefTask> NewCefRunnableFunction(Function function, const Args&... args)
{
    return new cef_compat_detail::CefRunnableFunction<Function, Args...>(function, args...);
}
