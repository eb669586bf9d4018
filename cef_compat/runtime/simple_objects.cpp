#include "runtime/simple_objects.h"

namespace cefcompat {
namespace {

class CGlobalRequestContext : public CefRequestContext {
public:
    bool IsSame(CefRefPtr<CefRequestContext> other) OVERRIDE { return other && other->IsGlobal(); }
    bool IsGlobal() OVERRIDE { return true; }

private:
    IMPLEMENT_REFCOUNTING(CGlobalRequestContext)
};

} // namespace

std::wstring SchemeOfUrl(const std::wstring& url)
{
    const size_t colon = url.find(L':');
    if (colon == std::wstring::npos || colon == 0)
        return std::wstring();
    std::wstring scheme = url.substr(0, colon);
    for (wchar_t& c : scheme) {
        const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'+' ||
                        c == L'-' || c == L'.';
        if (!ok)
            return std::wstring();
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return scheme;
}

std::wstring HostOfUrl(const std::wstring& url)
{
    const size_t start = url.find(L"://");
    if (start == std::wstring::npos)
        return url;
    const size_t hostStart = start + 3;
    const size_t end = url.find_first_of(L"/?#:", hostStart);
    return url.substr(hostStart, end == std::wstring::npos ? std::wstring::npos : end - hostStart);
}

} // namespace cefcompat

CefRefPtr<CefRequest> CefRequest::Create()
{
    return new cefcompat::CRequestImpl();
}

CefRefPtr<CefRequestContext> CefRequestContext::GetGlobalContext()
{
    static CefRefPtr<CefRequestContext> global = new cefcompat::CGlobalRequestContext();
    return global;
}
