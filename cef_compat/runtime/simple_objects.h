// Small objects the runtime hands to the client: requests, download items, certificate
// information, the global request context.
#pragma once

#include <string>

#include "include/cef_download_item.h"
#include "include/cef_request.h"
#include "include/cef_request_context.h"
#include "include/cef_ssl_info.h"

namespace cefcompat {

class CRequestImpl : public CefRequest {
public:
    CRequestImpl() = default;
    CRequestImpl(const std::wstring& url, ResourceType resourceType, TransitionType transitionType)
        : m_url(url),
          m_resourceType(resourceType),
          m_transitionType(transitionType)
    {
    }
    void SetReadOnly() { m_readOnly = true; }

    bool IsReadOnly() OVERRIDE { return m_readOnly; }
    CefString GetURL() OVERRIDE { return m_url; }
    void SetURL(const CefString& url) OVERRIDE
    {
        if (!m_readOnly)
            m_url = url.ToWString();
    }
    CefString GetMethod() OVERRIDE { return m_method; }
    void SetMethod(const CefString& method) OVERRIDE
    {
        if (!m_readOnly)
            m_method = method.ToWString();
    }
    ResourceType GetResourceType() OVERRIDE { return m_resourceType; }
    TransitionType GetTransitionType() OVERRIDE { return m_transitionType; }

private:
    std::wstring m_url;
    std::wstring m_method = L"GET";
    ResourceType m_resourceType = RT_MAIN_FRAME;
    TransitionType m_transitionType = TT_EXPLICIT;
    bool m_readOnly = false;
    IMPLEMENT_REFCOUNTING(CRequestImpl)
};

// A download that has not started: nothing received yet.
class CDownloadItemImpl : public CefDownloadItem {
public:
    CDownloadItemImpl(uint32 id, const std::wstring& url, const std::wstring& suggestedName,
                      const std::wstring& mimeType)
        : m_id(id),
          m_url(url),
          m_suggestedName(suggestedName),
          m_mimeType(mimeType)
    {
    }

    bool IsValid() OVERRIDE { return true; }
    bool IsInProgress() OVERRIDE { return true; }
    bool IsComplete() OVERRIDE { return false; }
    bool IsCanceled() OVERRIDE { return false; }
    int64 GetCurrentSpeed() OVERRIDE { return 0; }
    int GetPercentComplete() OVERRIDE { return -1; }
    int64 GetTotalBytes() OVERRIDE { return -1; }
    int64 GetReceivedBytes() OVERRIDE { return 0; }
    CefString GetFullPath() OVERRIDE { return CefString(); }
    uint32 GetId() OVERRIDE { return m_id; }
    CefString GetURL() OVERRIDE { return m_url; }
    CefString GetSuggestedFileName() OVERRIDE { return m_suggestedName; }
    CefString GetContentDisposition() OVERRIDE { return L"attachment; filename=\"" + m_suggestedName + L"\""; }
    CefString GetMimeType() OVERRIDE { return m_mimeType; }

private:
    const uint32 m_id;
    const std::wstring m_url;
    const std::wstring m_suggestedName;
    const std::wstring m_mimeType;
    IMPLEMENT_REFCOUNTING(CDownloadItemImpl)
};

class CSSLInfoImpl : public CefSSLInfo {
public:
    CSSLInfoImpl(const std::wstring& subject, const std::wstring& issuer) : m_subject(subject), m_issuer(issuer) {}
    CefString GetSubjectName() OVERRIDE { return m_subject; }
    CefString GetIssuerName() OVERRIDE { return m_issuer; }

private:
    const std::wstring m_subject;
    const std::wstring m_issuer;
    IMPLEMENT_REFCOUNTING(CSSLInfoImpl)
};

// The host part of a URL ("example.com" of "https://example.com/x"), or the URL itself.
std::wstring HostOfUrl(const std::wstring& url);
// The scheme in lower case ("https"), empty when there is none.
std::wstring SchemeOfUrl(const std::wstring& url);

} // namespace cefcompat
