#include "PowerPointInterfaces.h"

#include "DebugCheck.h"

namespace NsConverter::PowerPoint {

namespace {

// Virtual-table indexes of the members used, as the program's type library lays them out.
namespace Index {
constexpr unsigned ApplicationPresentations = 7;
constexpr unsigned ApplicationBuild = 21;
constexpr unsigned ApplicationVersion = 22;
constexpr unsigned ApplicationQuit = 29;
constexpr unsigned ApplicationCOMAddIns = 49;
constexpr unsigned PresentationsCount = 9;
constexpr unsigned PresentationsItem = 12;
constexpr unsigned PresentationsAdd = 13;
constexpr unsigned PresentationsOpen = 15;
constexpr unsigned PresentationFullName = 30;
constexpr unsigned PresentationSaveAs = 44;
constexpr unsigned PresentationClose = 47;
constexpr unsigned AddInsItem = 9;
constexpr unsigned AddInsCount = 10;
constexpr unsigned AddInProgId = 11;
constexpr unsigned AddInGuid = 12;
constexpr unsigned AddInConnect = 13;
} // namespace Index

// COM members are __stdcall functions that take the interface pointer as their first
// argument, so each slot can be called as a plain function of that type.
template <typename... Args>
HRESULT CallMember(CAutomationObject* object, unsigned index, Args... args)
{
    using AnyMember = void (*)();
    using Member = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
    IUnknown* const unknown = object->Unknown();
    const AnyMember* const table = *reinterpret_cast<const AnyMember* const*>(unknown);
    const HRESULT result = reinterpret_cast<Member>(table[index])(unknown, args...);
    // The program's objects are proxies that belong to the apartment of the thread that
    // obtained them; these are COM's answers to a call from another thread or from one that
    // has left COM, a fault of this library rather than of the program.
    DEBUG_CHECK(result != RPC_E_WRONG_THREAD && result != CO_E_NOTINITIALIZED);
    return result;
}

template <typename Interface, typename... Args>
HRESULT Call(Interface* object, unsigned index, Args... args)
{
    return CheckComResult(CallMember(object, index, args...), object->Unknown(), Interface::kIid);
}

template <typename Interface>
std::wstring GetText(Interface* object, unsigned index)
{
    CBstr text;
    Call(object, index, text.Receive());
    return text.Text();
}

template <typename Result, typename Interface, typename... Args>
CComPtr<Result> GetInterface(Interface* object, unsigned index, Args... args)
{
    CComPtr<Result> result;
    Call(object, index, args..., result.Receive());
    return result;
}

// A name that cannot be allocated must not reach the program as an empty one.
CBstr MakeBstr(const std::wstring& text)
{
    CBstr bstr(text);
    if (!bstr.Get())
        throw _com_error(E_OUTOFMEMORY);
    return bstr;
}

VARIANT IndexVariant(long index)
{
    VARIANT variant;
    ::VariantInit(&variant);
    V_VT(&variant) = VT_I4;
    V_I4(&variant) = index;
    return variant;
}

} // namespace

CComPtr<Presentations> _Application::GetPresentations()
{
    return GetInterface<Presentations>(this, Index::ApplicationPresentations);
}

std::wstring _Application::GetBuild()
{
    return GetText(this, Index::ApplicationBuild);
}

std::wstring _Application::GetVersion()
{
    return GetText(this, Index::ApplicationVersion);
}

void _Application::Quit()
{
    Call(this, Index::ApplicationQuit);
}

CComPtr<COMAddIns> _Application::GetCOMAddIns()
{
    return GetInterface<COMAddIns>(this, Index::ApplicationCOMAddIns);
}

HRESULT Presentations::get_Count(long* count)
{
    return CallMember(this, Index::PresentationsCount, count);
}

CComPtr<_Presentation> Presentations::Item(long index)
{
    return GetInterface<_Presentation>(this, Index::PresentationsItem, IndexVariant(index));
}

CComPtr<_Presentation> Presentations::Add(MsoTriState withWindow)
{
    return GetInterface<_Presentation>(this, Index::PresentationsAdd, withWindow);
}

CComPtr<_Presentation> Presentations::Open(const std::wstring& fileName, MsoTriState readOnly, MsoTriState untitled,
                                           MsoTriState withWindow)
{
    const CBstr name = MakeBstr(fileName);
    return GetInterface<_Presentation>(this, Index::PresentationsOpen, name.Get(), readOnly, untitled, withWindow);
}

std::wstring _Presentation::GetFullName()
{
    return GetText(this, Index::PresentationFullName);
}

HRESULT _Presentation::SaveAs(const std::wstring& fileName, PpSaveAsFileType format, MsoTriState embedTrueTypeFonts)
{
    const CBstr name = MakeBstr(fileName);
    return Call(this, Index::PresentationSaveAs, name.Get(), format, embedTrueTypeFonts);
}

void _Presentation::Close()
{
    Call(this, Index::PresentationClose);
}

CComPtr<COMAddIn> COMAddIns::Item(long index)
{
    VARIANT variant = IndexVariant(index);
    return GetInterface<COMAddIn>(this, Index::AddInsItem, &variant);
}

long COMAddIns::GetCount()
{
    long count = 0;
    Call(this, Index::AddInsCount, &count);
    return count;
}

std::wstring COMAddIn::GetProgId()
{
    return GetText(this, Index::AddInProgId);
}

std::wstring COMAddIn::GetGuid()
{
    return GetText(this, Index::AddInGuid);
}

VARIANT_BOOL COMAddIn::GetConnect()
{
    VARIANT_BOOL connected = VARIANT_FALSE;
    Call(this, Index::AddInConnect, &connected);
    return connected;
}

} // namespace NsConverter::PowerPoint
