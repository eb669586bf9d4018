#pragma once

#include <string>
#include <vector>

// The browser operations that the add-in's commands reach. The slot order is part of the
// interface and must not change.
class IBrowserControleeConsumer {
public:
    virtual ~IBrowserControleeConsumer() = default;

    virtual void MouseMove(int x, int y, bool flag, int modifiers) = 0;
    virtual void MouseClick(int x, int y, bool leftButton, bool buttonDown, int modifiers) = 0;
    virtual void MouseWheel(int x, int y, int deltaX, int deltaY, int modifiers) = 0;
    virtual void KeyEvent(int keyCode, bool keyDown, bool keyUp, bool systemKey, bool spare) = 0;
    virtual void Focus(bool focused) = 0;
    virtual void GoBack() = 0;
    virtual bool CanGoBack() = 0;
    virtual void GoForward() = 0;
    virtual bool CanGoForward() = 0;
    virtual void LoadUrl(std::wstring url) = 0;
    virtual std::wstring GetUrl() = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void ExecuteScript(std::wstring script) = 0;
    virtual void JsDialogReply(bool success, std::wstring userInput) = 0;
    virtual void FileDialogReply(bool accepted, std::vector<std::wstring> paths) = 0;
    virtual void Close() = 0;
};
