// The presentation-program stand-in as the converter meets it: a server in another process,
// reached through virtual-table slots, reporting what its settings say.
#include "StandinTestSupport.h"

#include "../../office_standins/common/FilePaths.h"

#include <functional>

namespace StandInTests {
namespace {

using StandinServer = StandinClientTest;

HRESULT AddPresentation(IUnknown* presentations, CComPtr<IUnknown>& presentation)
{
    return CallSlot(presentations, Slot::kPresentationsAdd, kMsoTrue, presentation.Receive());
}

HRESULT ComAddInItem(IUnknown* addIns, VARIANT index, CComPtr<IUnknown>& addIn)
{
    return CallSlot(addIns, Slot::kComAddInsItem, &index, addIn.Receive());
}

VARIANT Number(long value)
{
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = value;
    return number;
}

TEST_F(StandinServer, OneInstanceInAnotherProcessServesEveryClient)
{
    const std::vector<DWORD> servers = RunningServerIds();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_NE(servers[0], GetCurrentProcessId());

    CComPtr<IUnknown> otherClient;
    CComPtr<IUnknown> otherPresentations;
    ASSERT_EQ(CreateApplication(otherClient), S_OK);
    ASSERT_EQ(GetObject(otherClient.Get(), Slot::kApplicationPresentations, otherPresentations), S_OK);
    CComPtr<IUnknown> added;
    ASSERT_EQ(AddPresentation(Presentations(), added), S_OK);

    long count = 0;
    ASSERT_EQ(GetCount(otherPresentations.Get(), Slot::kPresentationsCount, count), S_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(RunningServerIds(), servers);
}

TEST_F(StandinServer, VersionAndBuildTextsComeFromTheSettings)
{
    m_settings.SetText(L"Version", L"11.0");
    m_settings.SetText(L"Build", L"8169");
    std::wstring version;
    std::wstring build;
    ASSERT_EQ(GetText(m_application.Get(), Slot::kApplicationVersion, version), S_OK);
    ASSERT_EQ(GetText(m_application.Get(), Slot::kApplicationBuild, build), S_OK);
    EXPECT_EQ(version, L"11.0");
    EXPECT_EQ(build, L"8169");

    // Texts that are no numbers reach the client unchanged.
    m_settings.SetText(L"Version", L"twelve");
    ASSERT_EQ(GetText(m_application.Get(), Slot::kApplicationVersion, version), S_OK);
    EXPECT_EQ(version, L"twelve");
}

TEST_F(StandinServer, ComAddInsReportTheConfiguredEntriesInKeyOrder)
{
    m_settings.AddComAddIn(L"1", L"Mevora.Connect", L"{D68ED28D-BE2C-49AC-845D-E6AEAF6C7D33}", true);
    m_settings.AddComAddIn(L"2", L"Other.AddIn", L"{d68ed28d-be2c-49ac-845d-e6aeaf6c7d33}", false);
    CComPtr<IUnknown> addIns;
    ASSERT_EQ(GetObject(m_application.Get(), Slot::kApplicationComAddIns, addIns), S_OK);
    long count = 0;
    ASSERT_EQ(GetCount(addIns.Get(), Slot::kComAddInsCount, count), S_OK);
    ASSERT_EQ(count, 2);

    CComPtr<IUnknown> first;
    ASSERT_EQ(ComAddInItem(addIns.Get(), Number(1), first), S_OK);
    std::wstring progId;
    std::wstring guid;
    VARIANT_BOOL connected = VARIANT_FALSE;
    ASSERT_EQ(GetText(first.Get(), Slot::kComAddInProgId, progId), S_OK);
    ASSERT_EQ(GetText(first.Get(), Slot::kComAddInGuid, guid), S_OK);
    ASSERT_EQ(CallSlot(first.Get(), Slot::kComAddInConnect, &connected), S_OK);
    EXPECT_EQ(progId, L"Mevora.Connect");
    EXPECT_EQ(guid, L"{D68ED28D-BE2C-49AC-845D-E6AEAF6C7D33}");
    EXPECT_EQ(connected, VARIANT_TRUE);

    CComPtr<IUnknown> second;
    ASSERT_EQ(ComAddInItem(addIns.Get(), Number(2), second), S_OK);
    ASSERT_EQ(GetText(second.Get(), Slot::kComAddInGuid, guid), S_OK);
    ASSERT_EQ(CallSlot(second.Get(), Slot::kComAddInConnect, &connected), S_OK);
    EXPECT_EQ(guid, L"{d68ed28d-be2c-49ac-845d-e6aeaf6c7d33}");
    EXPECT_EQ(connected, VARIANT_FALSE);

    CComPtr<IUnknown> beyond;
    EXPECT_TRUE(FAILED(ComAddInItem(addIns.Get(), Number(3), beyond)));
    EXPECT_TRUE(FAILED(ComAddInItem(addIns.Get(), Number(0), beyond)));
}

TEST_F(StandinServer, InjectedFailuresReachTheClientAndStopWhenCleared)
{
    constexpr HRESULT kInjected = static_cast<HRESULT>(0x80070005); // access denied
    m_settings.SetNumber(L"FailureCode", static_cast<DWORD>(kInjected));
    CComPtr<IUnknown> presentation;
    ASSERT_EQ(AddPresentation(Presentations(), presentation), S_OK);

    struct SCase {
        const wchar_t* setting;
        std::function<HRESULT()> call;
    };
    const SCase cases[] = {
        {L"FailCount",
         [&] {
             long count = 0;
             return GetCount(Presentations(), Slot::kPresentationsCount, count);
         }},
        {L"FailItem",
         [&] {
             CComPtr<IUnknown> item;
             return PresentationItem(Presentations(), 1, item);
         }},
        {L"FailAdd",
         [&] {
             CComPtr<IUnknown> added;
             return AddPresentation(Presentations(), added);
         }},
        {L"FailFullName",
         [&] {
             std::wstring name;
             return GetText(presentation.Get(), Slot::kPresentationFullName, name);
         }},
        {L"FailComAddIns",
         [&] {
             CComPtr<IUnknown> addIns;
             return GetObject(m_application.Get(), Slot::kApplicationComAddIns, addIns);
         }},
        {L"FailQuit", [&] { return CallSlot(m_application.Get(), Slot::kApplicationQuit); }},
        {L"FailClose", [&] { return CallSlot(presentation.Get(), Slot::kPresentationClose); }},
    };
    for (const SCase& failing : cases) {
        m_settings.SetNumber(failing.setting, 1);
        EXPECT_EQ(failing.call(), kInjected) << failing.setting;
        m_settings.SetNumber(failing.setting, 0);
    }
    // Without the failure, the same calls succeed (the last, Close, closes the presentation;
    // Quit is left out, or the server would be gone).
    for (const SCase& failing : cases) {
        if (std::wstring(failing.setting) != L"FailQuit") {
            EXPECT_EQ(failing.call(), S_OK) << failing.setting;
        }
    }
    std::wstring version;
    EXPECT_EQ(GetText(m_application.Get(), Slot::kApplicationVersion, version), S_OK) << "a failed Quit ends nothing";
}

TEST_F(StandinServer, OpenCanBeMadeToReturnNoPresentation)
{
    CTestFolder folder;
    WritePresentationPackage(folder.File(L"deck.pptx"));
    m_settings.SetNumber(L"OpenReturnsNothing", 1);
    CComPtr<IUnknown> presentation;
    EXPECT_EQ(OpenPresentation(Presentations(), folder.File(L"deck.pptx"), presentation), S_OK);
    EXPECT_FALSE(presentation);
    long count = -1;
    ASSERT_EQ(GetCount(Presentations(), Slot::kPresentationsCount, count), S_OK);
    EXPECT_EQ(count, 0);
}

TEST_F(StandinServer, SaveAsReturnsTheConfiguredResult)
{
    CTestFolder folder;
    m_settings.SetText(L"LibreOffice", L"");
    CComPtr<IUnknown> presentation;
    ASSERT_EQ(AddPresentation(Presentations(), presentation), S_OK);

    m_settings.SetNumber(L"SaveAsResult", static_cast<DWORD>(S_FALSE));
    EXPECT_EQ(SavePresentation(presentation.Get(), folder.File(L"saved.ppt")), S_FALSE);
    EXPECT_TRUE(StandIns::FileExists(folder.File(L"saved.ppt"))) << "the file is written all the same";

    m_settings.SetNumber(L"SaveAsResult", static_cast<DWORD>(E_FAIL));
    EXPECT_EQ(SavePresentation(presentation.Get(), folder.File(L"failed.ppt")), E_FAIL);
    EXPECT_FALSE(StandIns::FileExists(folder.File(L"failed.ppt")));
}

TEST_F(StandinServer, AClosedPresentationLeavesTheCollection)
{
    CComPtr<IUnknown> first;
    CComPtr<IUnknown> second;
    ASSERT_EQ(AddPresentation(Presentations(), first), S_OK);
    ASSERT_EQ(AddPresentation(Presentations(), second), S_OK);
    std::wstring firstName;
    std::wstring secondName;
    ASSERT_EQ(GetText(first.Get(), Slot::kPresentationFullName, firstName), S_OK);
    ASSERT_EQ(GetText(second.Get(), Slot::kPresentationFullName, secondName), S_OK);
    EXPECT_NE(firstName, secondName);
    EXPECT_EQ(firstName.find(L'\\'), std::wstring::npos) << "an untitled presentation has no file";

    ASSERT_EQ(CallSlot(first.Get(), Slot::kPresentationClose), S_OK);
    long count = 0;
    ASSERT_EQ(GetCount(Presentations(), Slot::kPresentationsCount, count), S_OK);
    EXPECT_EQ(count, 1);
    CComPtr<IUnknown> remaining;
    ASSERT_EQ(PresentationItem(Presentations(), 1, remaining), S_OK);
    std::wstring remainingName;
    ASSERT_EQ(GetText(remaining.Get(), Slot::kPresentationFullName, remainingName), S_OK);
    EXPECT_EQ(remainingName, secondName);
    EXPECT_TRUE(FAILED(GetText(first.Get(), Slot::kPresentationFullName, firstName)));
    EXPECT_TRUE(FAILED(CallSlot(first.Get(), Slot::kPresentationClose)));
}

TEST_F(StandinServer, QuitEndsTheServerEvenWithPresentationsOpen)
{
    CComPtr<IUnknown> presentation;
    ASSERT_EQ(AddPresentation(Presentations(), presentation), S_OK);
    ASSERT_EQ(CallSlot(m_application.Get(), Slot::kApplicationQuit), S_OK);
    EXPECT_TRUE(WaitForServersToEnd(10000));
    std::wstring version;
    EXPECT_TRUE(FAILED(GetText(m_application.Get(), Slot::kApplicationVersion, version)));
    m_presentations.Reset();
}

// Quit's answer leaves the server after the call has returned; a server that ended at once
// would now and then take it along, and the client would see the call fail. A client that asks
// for the program after a Quit meets a new server.
TEST(StandinServerStart, EveryQuitIsAnsweredAndTheNextClientMeetsANewServer)
{
    const StandIns::CComApartment apartment;
    CSettingsScope settings;
    RegisterStandIns();
    ASSERT_TRUE(WaitForServersToEnd(40000));
    for (int round = 1; round <= 5; ++round) {
        CComPtr<IUnknown> application;
        ASSERT_EQ(CreateApplication(application), S_OK) << "round " << round;
        EXPECT_EQ(CallSlot(application.Get(), Slot::kApplicationQuit), S_OK) << "round " << round;
    }
    EXPECT_TRUE(WaitForServersToEnd(40000));
}

TEST(StandinServerStart, TheStartupDelayHoldsBackTheFirstClient)
{
    const StandIns::CComApartment apartment;
    CSettingsScope settings;
    RegisterStandIns();
    ASSERT_TRUE(WaitForServersToEnd(40000));
    settings.SetNumber(L"StartupDelayMs", 1500);
    const DWORD start = GetTickCount();
    CComPtr<IUnknown> application;
    ASSERT_EQ(CreateApplication(application), S_OK);
    EXPECT_GE(GetTickCount() - start, 1500u);
    EXPECT_EQ(CallSlot(application.Get(), Slot::kApplicationQuit), S_OK);
}

} // namespace
} // namespace StandInTests
