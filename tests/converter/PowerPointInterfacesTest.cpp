// The automation members are reached by virtual-table index alone. A fake object answers
// every slot the library may call and writes down which slot it was and with what; a wrong
// index or argument shows up in that journal (or as a crash at an empty slot).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "PowerPointInterfaces.h"

using namespace NsConverter;
using namespace NsConverter::PowerPoint;
using testing::ElementsAre;

namespace {

constexpr std::size_t kSlots = 50;
using AnySlot = void (*)();
using VirtualTable = std::array<AnySlot, kSlots>;

// Keeps error information for calls through one interface (an ISupportErrorInfo).
struct SErrorSupport {
    const AnySlot* table;
    IID iid;
};

// One COM object with a table of its own. Getters of objects hand out `child`.
struct SFakeObject {
    // First, so that the object is where the library expects its table.
    const AnySlot* table;
    std::vector<std::string>* journal;
    SFakeObject* child;
    HRESULT result;
    SErrorSupport* errorSupport;
    ULONG references;

    template <typename Interface>
    Interface* As()
    {
        return reinterpret_cast<Interface*>(this);
    }
};

SFakeObject* Self(void* view)
{
    return static_cast<SFakeObject*>(view);
}

// The result of a call; a failure leaves error information behind, as automation servers do.
HRESULT Answer(SFakeObject* self, std::string entry)
{
    self->journal->push_back(std::move(entry));
    if (FAILED(self->result)) {
        ICreateErrorInfo* create = nullptr;
        CreateErrorInfo(&create);
        create->SetDescription(const_cast<LPOLESTR>(L"the program refused"));
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
    }
    return self->result;
}

std::string Narrow(const wchar_t* text)
{
    return std::string(text, text + wcslen(text));
}

HRESULT STDMETHODCALLTYPE QueryInterfaceSlot(void* view, REFIID iid, void** object)
{
    *object = nullptr;
    if (iid != IID_ISupportErrorInfo || !Self(view)->errorSupport)
        return E_NOINTERFACE;
    *object = Self(view)->errorSupport;
    return S_OK;
}
ULONG STDMETHODCALLTYPE AddRefSlot(void* view)
{
    return ++Self(view)->references;
}
ULONG STDMETHODCALLTYPE ReleaseSlot(void* view)
{
    return --Self(view)->references;
}

HRESULT STDMETHODCALLTYPE NoOtherInterface(void*, REFIID, void** object)
{
    *object = nullptr;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE NotCounted(void*)
{
    return 1;
}
HRESULT STDMETHODCALLTYPE SupportsErrorInfo(void* view, REFIID iid)
{
    return iid == static_cast<SErrorSupport*>(view)->iid ? S_OK : S_FALSE;
}

template <unsigned Index>
HRESULT STDMETHODCALLTYPE Plain(void* view)
{
    return Answer(Self(view), std::to_string(Index));
}
template <unsigned Index>
HRESULT STDMETHODCALLTYPE Text(void* view, BSTR* text)
{
    *text = SysAllocString((L"slot " + std::to_wstring(Index)).c_str());
    return Answer(Self(view), std::to_string(Index));
}
template <unsigned Index>
HRESULT STDMETHODCALLTYPE Count(void* view, long* count)
{
    *count = Index * 100;
    return Answer(Self(view), std::to_string(Index));
}
template <unsigned Index>
HRESULT STDMETHODCALLTYPE Child(void* view, void** child)
{
    SFakeObject* self = Self(view);
    *child = self->child;
    if (self->child)
        ++self->child->references;
    return Answer(self, std::to_string(Index));
}
HRESULT STDMETHODCALLTYPE ItemByValue(void* view, VARIANT index, void** child)
{
    Child<12>(view, child);
    Self(view)->journal->back() += " vt" + std::to_string(V_VT(&index)) + " " + std::to_string(V_I4(&index));
    return Self(view)->result;
}
HRESULT STDMETHODCALLTYPE ItemByPointer(void* view, VARIANT* index, void** child)
{
    Child<9>(view, child);
    Self(view)->journal->back() += " vt" + std::to_string(V_VT(index)) + " " + std::to_string(V_I4(index));
    return Self(view)->result;
}
HRESULT STDMETHODCALLTYPE Add(void* view, long withWindow, void** child)
{
    Child<13>(view, child);
    Self(view)->journal->back() += " " + std::to_string(withWindow);
    return Self(view)->result;
}
HRESULT STDMETHODCALLTYPE Open(void* view, BSTR name, long readOnly, long untitled, long withWindow, void** child)
{
    Child<15>(view, child);
    Self(view)->journal->back() += " " + Narrow(name) + " " + std::to_string(readOnly) + " " +
                                   std::to_string(untitled) + " " + std::to_string(withWindow);
    return Self(view)->result;
}
HRESULT STDMETHODCALLTYPE SaveAs(void* view, BSTR name, long format, long embedFonts)
{
    return Answer(Self(view), "44 " + Narrow(name) + " " + std::to_string(format) + " " + std::to_string(embedFonts));
}
HRESULT STDMETHODCALLTYPE Connect(void* view, VARIANT_BOOL* connected)
{
    *connected = VARIANT_TRUE;
    return Answer(Self(view), "13");
}

template <typename Function>
AnySlot Slot(Function function)
{
    return reinterpret_cast<AnySlot>(function);
}

VirtualTable MakeTable(std::initializer_list<std::pair<unsigned, AnySlot>> members)
{
    VirtualTable table{};
    table[0] = Slot(QueryInterfaceSlot);
    table[1] = Slot(AddRefSlot);
    table[2] = Slot(ReleaseSlot);
    for (const auto& member : members)
        table[member.first] = member.second;
    return table;
}

const AnySlot kErrorSupportTable[] = {Slot(NoOtherInterface), Slot(NotCounted), Slot(NotCounted),
                                      Slot(SupportsErrorInfo)};

const VirtualTable kApplicationTable = MakeTable(
    {{7, Slot(Child<7>)}, {21, Slot(Text<21>)}, {22, Slot(Text<22>)}, {29, Slot(Plain<29>)}, {49, Slot(Child<49>)}});
const VirtualTable kPresentationsTable =
    MakeTable({{9, Slot(Count<9>)}, {12, Slot(ItemByValue)}, {13, Slot(Add)}, {15, Slot(Open)}});
const VirtualTable kPresentationTable = MakeTable({{30, Slot(Text<30>)}, {44, Slot(SaveAs)}, {47, Slot(Plain<47>)}});
const VirtualTable kAddInsTable = MakeTable({{9, Slot(ItemByPointer)}, {10, Slot(Count<10>)}});
const VirtualTable kAddInTable = MakeTable({{11, Slot(Text<11>)}, {12, Slot(Text<12>)}, {13, Slot(Connect)}});

class PowerPointInterfaces : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    SFakeObject Fake(const VirtualTable& table, SFakeObject* child = nullptr)
    {
        return SFakeObject{table.data(), &m_journal, child, S_OK, nullptr, 1};
    }

    std::vector<std::string> m_journal;
};

} // namespace

TEST_F(PowerPointInterfaces, ApplicationMembersAreCalledAtTheirIndexes)
{
    SFakeObject presentations = Fake(kPresentationsTable);
    SFakeObject application = Fake(kApplicationTable, &presentations);
    _Application& view = *application.As<_Application>();

    EXPECT_EQ(view.GetPresentations().Get(), presentations.As<Presentations>());
    EXPECT_EQ(view.GetBuild(), L"slot 21");
    EXPECT_EQ(view.GetVersion(), L"slot 22");
    view.Quit();
    EXPECT_EQ(view.GetCOMAddIns().Get(), presentations.As<COMAddIns>());
    EXPECT_THAT(m_journal, ElementsAre("7", "21", "22", "29", "49"));
    // Every reference handed out was given back.
    EXPECT_EQ(presentations.references, 1u);
}

TEST_F(PowerPointInterfaces, PresentationsTakeIndexesAndTriStatesAsTheProgramExpects)
{
    SFakeObject presentation = Fake(kPresentationTable);
    SFakeObject presentations = Fake(kPresentationsTable, &presentation);
    Presentations& view = *presentations.As<Presentations>();

    long count = 0;
    EXPECT_EQ(view.get_Count(&count), S_OK);
    EXPECT_EQ(count, 900);
    EXPECT_TRUE(view.Item(3));
    EXPECT_TRUE(view.Add(msoTrue));
    EXPECT_TRUE(view.Open(L"C:\\temp\\deck.pptx", msoTrue, msoFalse, msoFalse));
    EXPECT_THAT(m_journal, ElementsAre("9", "12 vt3 3", "13 -1", "15 C:\\temp\\deck.pptx -1 0 0"));
    EXPECT_EQ(presentation.references, 1u);
}

TEST_F(PowerPointInterfaces, PresentationSavesInTheRequestedFormatAndPassesSuccessCodesOn)
{
    SFakeObject presentation = Fake(kPresentationTable);
    _Presentation& view = *presentation.As<_Presentation>();

    EXPECT_EQ(view.GetFullName(), L"slot 30");
    presentation.result = S_FALSE;
    EXPECT_EQ(view.SaveAs(L"C:\\out\\deck.ppt", ppSaveAsPresentation, msoFalse), S_FALSE);
    presentation.result = S_OK;
    view.Close();
    EXPECT_THAT(m_journal, ElementsAre("30", "44 C:\\out\\deck.ppt 1 0", "47"));
}

TEST_F(PowerPointInterfaces, AddInsAreReadThroughTheirCollection)
{
    SFakeObject addIn = Fake(kAddInTable);
    SFakeObject addIns = Fake(kAddInsTable, &addIn);

    EXPECT_EQ(addIns.As<COMAddIns>()->GetCount(), 1000);
    const CComPtr<COMAddIn> item = addIns.As<COMAddIns>()->Item(2);
    EXPECT_EQ(item.Get(), addIn.As<COMAddIn>());
    EXPECT_EQ(item->GetProgId(), L"slot 11");
    EXPECT_EQ(item->GetGuid(), L"slot 12");
    EXPECT_EQ(item->GetConnect(), VARIANT_TRUE);
    EXPECT_THAT(m_journal, ElementsAre("10", "9 vt3 2", "11", "12", "13"));
}

TEST_F(PowerPointInterfaces, AFailedCallRaisesWithTheProgramsErrorInformation)
{
    SFakeObject application = Fake(kApplicationTable);
    SErrorSupport forApplication{kErrorSupportTable, _Application::kIid};
    application.result = RPC_E_SERVERFAULT;
    application.errorSupport = &forApplication;
    try {
        application.As<_Application>()->GetVersion();
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), RPC_E_SERVERFAULT);
        EXPECT_STREQ(static_cast<const wchar_t*>(error.Description()), L"the program refused");
    }

    // Error information kept for another interface is not this call's.
    SErrorSupport forPresentations{kErrorSupportTable, Presentations::kIid};
    application.errorSupport = &forPresentations;
    try {
        application.As<_Application>()->Quit();
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), RPC_E_SERVERFAULT);
        EXPECT_EQ(error.ErrorInfo(), nullptr);
    }
    EXPECT_EQ(application.references, 1u);
}

TEST_F(PowerPointInterfaces, OnlyTheCountOfPresentationsReportsFailureWithoutRaising)
{
    SFakeObject presentations = Fake(kPresentationsTable);
    presentations.result = E_FAIL;
    long count = -1;
    EXPECT_EQ(presentations.As<Presentations>()->get_Count(&count), E_FAIL);
    EXPECT_THROW(presentations.As<Presentations>()->Item(1), _com_error);
}

TEST_F(PowerPointInterfaces, ACallThroughAMissingObjectRaisesEPointer)
{
    SFakeObject application = Fake(kApplicationTable);
    // The program answers the getter without an object.
    try {
        application.As<_Application>()->GetPresentations()->Add(msoTrue);
        FAIL() << "no error raised";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
    EXPECT_THAT(m_journal, ElementsAre("7"));
}
