#pragma once

// The client of the developer-tools browser. It handles nothing itself, so that browser runs
// entirely on CEF's defaults; CEF owns it (and the tools' window) once it has been handed
// over, and its last Release deletes it.

#include "include/cef_client.h"

class CDevToolsClient : public CefClient {
private:
    IMPLEMENT_REFCOUNTING(CDevToolsClient)
};
