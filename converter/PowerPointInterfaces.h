#pragma once

#include <string>

#include "ComSupport.h"

// The presentation program's automation objects, as far as this library uses them. They are
// dual interfaces, and the library calls their members straight through the virtual table at
// the index that the program's type library gives each member (IUnknown's three and
// IDispatch's four methods take the indexes 0 to 6). Every failed call raises _com_error;
// so does a call through a null pointer.
namespace NsConverter::PowerPoint {

enum MsoTriState : long {
    msoFalse = 0,
    msoTrue = -1,
};

enum PpSaveAsFileType : long {
    ppSaveAsPresentation = 1, // the 97-2003 presentation format
};

struct _Presentation;
struct Presentations;
struct COMAddIn;
struct COMAddIns;

// One of the program's COM objects, seen through one of its interfaces. The library never
// creates one, only holds references (CComPtr), and reaches the members by their index.
class CAutomationObject {
public:
    CAutomationObject() = delete;
    CAutomationObject(const CAutomationObject&) = delete;
    CAutomationObject& operator=(const CAutomationObject&) = delete;

    IUnknown* Unknown() noexcept { return reinterpret_cast<IUnknown*>(this); }
    ULONG Release() noexcept { return Unknown()->Release(); }
};

struct _Application : CAutomationObject {
    static constexpr IID kIid = {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

    CComPtr<Presentations> GetPresentations();
    std::wstring GetBuild();
    std::wstring GetVersion();
    void Quit();
    CComPtr<COMAddIns> GetCOMAddIns();
};

struct Presentations : CAutomationObject {
    static constexpr IID kIid = {0x91493462, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

    // The one member that does not raise: a count that cannot be read only means that the
    // steps depending on it are skipped. S_OK is the only answer that delivers a count.
    HRESULT get_Count(long* count);
    CComPtr<_Presentation> Item(long index);
    CComPtr<_Presentation> Add(MsoTriState withWindow);
    CComPtr<_Presentation> Open(const std::wstring& fileName, MsoTriState readOnly, MsoTriState untitled,
                                MsoTriState withWindow);
};

struct _Presentation : CAutomationObject {
    static constexpr IID kIid = {0x9149349D, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

    std::wstring GetFullName();
    // Returns the success code, which tells a complete save (S_OK) from any other.
    HRESULT SaveAs(const std::wstring& fileName, PpSaveAsFileType format, MsoTriState embedTrueTypeFonts);
    void Close();
};

struct COMAddIns : CAutomationObject {
    static constexpr IID kIid = {0x000C0339, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

    CComPtr<COMAddIn> Item(long index);
    long GetCount();
};

struct COMAddIn : CAutomationObject {
    static constexpr IID kIid = {0x000C033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

    std::wstring GetProgId();
    std::wstring GetGuid();
    // Whether the add-in is loaded.
    VARIANT_BOOL GetConnect();
};

} // namespace NsConverter::PowerPoint
