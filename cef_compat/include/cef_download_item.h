// A download, as described to the download handler.
#pragma once

#include "include/cef_base.h"

class CefDownloadItem : public virtual CefBase {
public:
    virtual bool IsValid() = 0;
    virtual bool IsInProgress() = 0;
    virtual bool IsComplete() = 0;
    virtual bool IsCanceled() = 0;
    virtual int64 GetCurrentSpeed() = 0;
    virtual int GetPercentComplete() = 0;
    virtual int64 GetTotalBytes() = 0;
    virtual int64 GetReceivedBytes() = 0;
    virtual CefString GetFullPath() = 0;
    virtual uint32 GetId() = 0;
    virtual CefString GetURL() = 0;
    virtual CefString GetSuggestedFileName() = 0;
    virtual CefString GetContentDisposition() = 0;
    virtual CefString GetMimeType() = 0;
};
