#include "engines/scripted_page.h"

namespace cefcompat {
namespace {

constexpr size_t kMaxClicks = 32;
constexpr size_t kMaxTyped = 80;
constexpr size_t kMaxNotes = 6;
constexpr size_t kMaxShownScript = 60;

const COLORREF kBackground = RGB(250, 250, 244);
const COLORREF kGoneBackground = RGB(200, 200, 200);
const COLORREF kText = RGB(20, 20, 20);
const COLORREF kHeader = RGB(40, 70, 140);
const COLORREF kClick = RGB(220, 30, 30);
const COLORREF kRightClick = RGB(30, 150, 30);
const COLORREF kPointer = RGB(30, 60, 220);

std::wstring Number(int value)
{
    return std::to_wstring(value);
}

} // namespace

void CScriptedPage::AddClick(int x, int y, int button)
{
    clicks.push_back({x, y, button});
    if (clicks.size() > kMaxClicks)
        clicks.pop_front();
}

void CScriptedPage::AddTyped(wchar_t c)
{
    if (c == L'\b') {
        if (!typed.empty())
            typed.pop_back();
        return;
    }
    if (c < L' ')
        return;
    typed += c;
    if (typed.size() > kMaxTyped)
        typed.erase(0, typed.size() - kMaxTyped);
}

void CScriptedPage::AddNote(const std::wstring& note)
{
    notes.push_back(note);
    if (notes.size() > kMaxNotes)
        notes.pop_front();
}

void CScriptedPage::NewDocument(const std::wstring& address)
{
    url = address;
    title.clear();
    rendererGone = false;
    clicks.clear();
    typed.clear();
    lastKey.clear();
    subFrames.clear();
}

void PaintScriptedPage(const CScriptedPage& page, CGdiCanvas& canvas)
{
    const int w = canvas.Width();
    const int h = canvas.Height();
    canvas.Fill(RECT{0, 0, w, h}, page.rendererGone ? kGoneBackground : kBackground);
    canvas.Fill(RECT{0, 0, w, 22}, kHeader);
    canvas.Text(6, 4, page.url.empty() ? L"(no address)" : page.url, RGB(255, 255, 255));

    int y = 30;
    for (const std::wstring& line : page.notice)
        y = canvas.Text(8, y, line, kClick);
    if (!page.notice.empty())
        y += 8;
    y = canvas.Text(8, y, L"Title: " + page.title, kText);
    y = canvas.Text(8, y, L"Status: " + page.status, kText);
    y = canvas.Text(8, y,
                    L"View: " + Number(w) + L" x " + Number(h) + L"   Focus: " + (page.focused ? L"yes" : L"no") +
                        L"   Wheel: " + Number(page.wheelX) + L", " + Number(page.wheelY),
                    kText);
    y = canvas.Text(8, y, L"Typed: " + page.typed, kText);
    y = canvas.Text(8, y, L"Last key: " + page.lastKey, kText);
    std::wstring script = page.lastScript.substr(0, kMaxShownScript);
    y = canvas.Text(8, y, L"Scripts run: " + Number(page.scripts) + L"  " + script, kText);
    for (const CScriptedPage::CSubFrame& frame : page.subFrames) {
        y = canvas.Text(8, y, L"Frame " + frame.name + L": " + frame.url, kText);
    }
    for (const std::wstring& note : page.notes)
        y = canvas.Text(8, y, note, kText);
    if (page.rendererGone)
        canvas.Text(8, y + 8, L"The page's render process has ended.", kClick);

    for (const CScriptedPage::CClick& click : page.clicks) {
        canvas.Cross(click.x, click.y, 6, click.button == 0 ? kClick : kRightClick);
    }
    if (page.mouseX >= 0 && page.mouseY >= 0) {
        canvas.Fill(RECT{page.mouseX - 2, page.mouseY - 2, page.mouseX + 3, page.mouseY + 3}, kPointer);
    }
    canvas.Frame(RECT{0, 0, w, h}, kHeader);
}

void PaintScriptedPopup(CGdiCanvas& canvas)
{
    const RECT all{0, 0, canvas.Width(), canvas.Height()};
    canvas.Fill(all, RGB(210, 230, 255));
    canvas.Frame(all, RGB(40, 70, 140));
    canvas.Text(4, 4, L"popup widget", kText);
}

} // namespace cefcompat
