// What a scripted page shows, and how it is drawn: the address, the title, the load status
// and marks for the input that reached the page, so that a picture proves the input arrived.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "runtime/gdi_canvas.h"

namespace cefcompat {

struct CScriptedPage {
    struct CClick {
        int x;
        int y;
        int button;
    };
    struct CSubFrame {
        int64_t id;
        std::wstring name;
        std::wstring url;
    };

    std::wstring url;
    std::wstring title;
    std::wstring status;
    bool rendererGone = false;
    bool focused = false;
    int mouseX = -1;
    int mouseY = -1;
    int wheelX = 0;
    int wheelY = 0;
    std::deque<CClick> clicks; // the latest ones
    std::wstring typed; // characters received, the latest ones
    std::wstring lastKey;
    int scripts = 0;
    std::wstring lastScript;
    std::vector<CSubFrame> subFrames;
    std::deque<std::wstring> notes; // dialog answers and the like, the latest ones
    std::vector<std::wstring> notice; // why there is no real page, shown above everything

    void AddClick(int x, int y, int button);
    void AddTyped(wchar_t c);
    void AddNote(const std::wstring& note);
    // A new document: input marks and sub-frames belong to the old one.
    void NewDocument(const std::wstring& address);
};

void PaintScriptedPage(const CScriptedPage& page, CGdiCanvas& canvas);
void PaintScriptedPopup(CGdiCanvas& canvas);

} // namespace cefcompat
