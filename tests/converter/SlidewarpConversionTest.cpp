// Slidewarp.dll converting through the registered stand-ins, as the add-in calls it: both
// routes, generated and given output paths, and every status code from its cause.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "ConverterRoute.h"
#include "EndToEndSupport.h"
#include "PowerPointAutomation.h"
#include "TestFolder.h"
#include "TestTime.h"
#include "ZipFixture.h"
#include "platform/FileSystem.h"
#include "platform/PathUtils.h"

using namespace EndToEnd;
using namespace NsConverter::PowerPoint;
using NsConverter::CComPtr;
using NsPlatform::FileSystem;
using NsPlatform::PathUtils;
using NsWin32::CFileHandle;
using NsWin32::CKernelHandle;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const DWORD kHelperTimeoutMs = NsTestSupport::ScaledMs(30000);

class SlidewarpConversion : public CEndToEndTest {
protected:
    // A sample presentation in the test's folder, under a name no other run uses.
    std::wstring Input()
    {
        m_stem = UniqueName(L"deck");
        const std::wstring path = m_folder.Path(m_stem + L".pptx");
        WriteSample(path);
        return path;
    }
    std::wstring Output(const wchar_t* name = L"out.ppt") const { return m_folder.Path(name); }
    // Neither the temporary copy nor anything the converter wrote beside it is left.
    void ExpectNothingLeftInTemp() const { EXPECT_THAT(TempFilesStartingWith(m_stem), IsEmpty()); }
    void ExpectNoTemporaryCopy() const
    {
        for (const std::wstring& name : TempFilesStartingWith(m_stem))
            EXPECT_NE(PathUtils::GetFileExt(name, false), L"pptx") << Narrow(name);
    }

    CTestFolder m_folder;
    CStandinSettings m_settings;
    std::wstring m_stem;
};

// Another process that holds the conversion lock until the test lets it go.
class CLockHolder {
public:
    CLockHolder()
        : m_ready(CreateEventW(nullptr, FALSE, FALSE, (std::wstring(kConversionLockName) + L"-ready").c_str())),
          m_go(CreateEventW(nullptr, FALSE, FALSE, (std::wstring(kConversionLockName) + L"-go").c_str()))
    {
        const std::wstring path = BinFolder() + L"NamedMutexHolder.exe";
        std::wstring commandLine = L"\"" + path + L"\" hold " + kConversionLockName;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION created{};
        EXPECT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &created));
        m_process.Reset(created.hProcess);
        const CKernelHandle thread(created.hThread);
        EXPECT_EQ(WaitForSingleObject(m_ready.Get(), kHelperTimeoutMs), WAIT_OBJECT_0);
    }
    ~CLockHolder()
    {
        // Once to give the lock back, once more to end.
        SetEvent(m_go.Get());
        WaitForSingleObject(m_ready.Get(), kHelperTimeoutMs);
        SetEvent(m_go.Get());
        WaitForSingleObject(m_process.Get(), kHelperTimeoutMs);
    }
    CLockHolder(const CLockHolder&) = delete;
    CLockHolder& operator=(const CLockHolder&) = delete;

private:
    CKernelHandle m_ready;
    CKernelHandle m_go;
    CKernelHandle m_process;
};

std::wstring CurrentDirectory()
{
    wchar_t directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, directory);
    return std::wstring(directory, length < MAX_PATH ? length : 0);
}

// As if saved while a conversion runs: written later than any start the converter route takes.
void MarkSavedDuringConversion(const std::wstring& path)
{
    constexpr ULONGLONG kHourIn100ns = 36000000000ULL;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG later = ((ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime) + kHourIn100ns;
    const FILETIME written{static_cast<DWORD>(later), static_cast<DWORD>(later >> 32)};
    const CFileHandle file(
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &written));
}

} // namespace

TEST_F(SlidewarpConversion, TheProgramConvertsDirectlyFromVersion12AndFrom2003Build8169)
{
    // A converter that cannot convert shows that the program did the work.
    m_settings.ConverterFails();
    for (const auto& version :
         {std::make_pair(L"12.0", L"4518"), std::make_pair(L"16.0", L"4266"), std::make_pair(L"11.0", L"8169")}) {
        SCOPED_TRACE(testing::Message() << Narrow(version.first) << " build " << Narrow(version.second));
        m_settings.Version(version.first, version.second);
        const std::wstring output = Output((std::wstring(version.first) + L".ppt").c_str());
        EXPECT_EQ(Slidewarp().Convert(Input(), output), 0);
        EXPECT_TRUE(IsCompoundDocument(output));
        ExpectNothingLeftInTemp();
    }
}

TEST_F(SlidewarpConversion, The2003ProgramBelowBuild8169ConvertsThroughTheCompatibilityConverter)
{
    m_settings.Version(L"11.0", L"8168");
    const std::wstring directory = CurrentDirectory();

    EXPECT_EQ(Slidewarp().Convert(Input(), Output()), 0);
    EXPECT_TRUE(IsCompoundDocument(Output()));
    // The converter's own result beside the copy was moved, not copied.
    ExpectNothingLeftInTemp();
    // The converter ran in its own folder, the caller's process is back in its own.
    EXPECT_EQ(CurrentDirectory(), directory);

    m_settings.ConverterFails();
    EXPECT_EQ(Slidewarp().Convert(Input(), Output(L"second.ppt")), 2002);
    EXPECT_FALSE(FileSystem::FileExists(Output(L"second.ppt")));
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpConversion, TheConverterRouteTakesOnlyWhatTheConverterMadeOfTheCopy)
{
    m_settings.Version(L"11.0", L"8168");
    const std::wstring input = Input();
    // Someone else's file under the converter's first choice of name: the converter numbers its
    // result instead.
    const std::wstring taken = TempFolder() + m_stem + L".ppt";
    WriteBytes(taken, "someone else's");
    // The user's own decks, open in the program: one named like the copy in another folder,
    // one beside the copy under another name.
    const std::wstring decks[] = {m_folder.Path(m_stem + L".ppt"), TempFolder() + m_stem + L" notes.ppt"};
    const CComPtr<Presentations> presentations = NsConverter::StartPowerPoint()->GetPresentations();
    std::vector<CComPtr<_Presentation>> open;
    for (const std::wstring& deck : decks) {
        WriteBytes(deck, "the user's deck");
        open.push_back(presentations->Open(deck, msoFalse, msoFalse, msoFalse));
        MarkSavedDuringConversion(deck);
    }

    EXPECT_EQ(Slidewarp().Convert(input, Output()), 0);

    EXPECT_TRUE(IsCompoundDocument(Output()));
    EXPECT_EQ(ReadBytes(taken), "someone else's");
    for (std::size_t i = 0; i < open.size(); ++i) {
        EXPECT_EQ(ReadBytes(decks[i]), "the user's deck");
        // Still open: a closed presentation no longer answers.
        EXPECT_EQ(open[i]->GetFullName(), decks[i]);
        open[i]->Close();
    }
    FileSystem::DeleteFileW(taken);
    FileSystem::DeleteFileW(decks[1]);
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpConversion, NoProgramOfTheConvertersNameRunsWhenItsFolderCannotBeEntered)
{
    // The stand-in converter under the converter's relative program name, in the caller's
    // directory: were it run, it would convert the copy and leave its result beside it.
    const CTestFolder caller;
    ASSERT_TRUE(CopyFileW((BinFolder() + L"moc.exe").c_str(), caller.Path(L"Moc.exe").c_str(), FALSE));
    const std::wstring copy = Input();
    const CCurrentDirectory current(caller.Path());
    const std::wstring directory = CurrentDirectory();

    EXPECT_FALSE(NsConverter::RunConverter(m_folder.Path(L"gone\\moc.exe"), copy));

    EXPECT_EQ(CurrentDirectory(), directory);
    EXPECT_FALSE(FileSystem::FileExists(m_folder.Path(m_stem + L".ppt")));
}

TEST_F(SlidewarpConversion, AGeneratedOutputLivesInItsOwnFolderUntilDeleted)
{
    std::wstring output;
    const std::wstring input = Input();
    ASSERT_EQ(Slidewarp().ConvertToGeneratedPath(input, output), 0);

    const std::wstring folder = PathUtils::GetParentFolder(output, false);
    EXPECT_EQ(PathUtils::GetParentFolder(folder, true), TempFolder());
    EXPECT_EQ(PathUtils::GetFileName(output, true), m_stem + L".ppt");
    EXPECT_TRUE(IsCompoundDocument(output));
    ExpectNothingLeftInTemp();

    EXPECT_EQ(Slidewarp().DeleteOutputFile(output.c_str()), 0);
    EXPECT_FALSE(FileSystem::DirectoryExists(folder));
    EXPECT_EQ(Slidewarp().DeleteOutputFile(output.c_str()), 3);
}

TEST_F(SlidewarpConversion, TheTemporaryCopyTakesTheNextFreeNameAndIsGoneAfterwards)
{
    const std::wstring input = Input();
    const std::wstring taken = TempFolder() + m_stem + L".pptx";
    WriteBytes(taken, "someone else's");

    EXPECT_EQ(Slidewarp().Convert(input, Output()), 0);

    EXPECT_EQ(ReadBytes(taken), "someone else's");
    EXPECT_THAT(TempFilesStartingWith(m_stem), ElementsAre(m_stem + L".pptx"));
    FileSystem::DeleteFileW(taken);

    // Nor is the copy ever the output, however that is spelled: the copy goes at the end.
    const std::wstring output = TempFolder() + m_stem + L".PPTX";
    EXPECT_EQ(Slidewarp().Convert(input, output), 0);
    EXPECT_TRUE(IsCompoundDocument(output));
    FileSystem::DeleteFileW(output);
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpConversion, AConversionInAnotherProcessKeepsThisOneOut)
{
    const std::wstring input = Input();
    const auto before = GeneratedFolders();
    {
        const CLockHolder holder;
        EXPECT_EQ(Slidewarp().Convert(input, Output()), 1000);
        std::wstring generated;
        EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(input, generated), 1000);
    }
    EXPECT_EQ(GeneratedFolders(), before);
    EXPECT_FALSE(FileSystem::FileExists(Output()));
    // Once the other process has let go, the lock is free again.
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 0);
}

TEST_F(SlidewarpConversion, AnExistingOutputIsNeverReplaced)
{
    const std::wstring input = Input();
    WriteBytes(Output(L"taken.ppt"), "keep me");
    EXPECT_EQ(Slidewarp().Convert(input, Output(L"taken.ppt")), 1001);
    EXPECT_EQ(ReadBytes(Output(L"taken.ppt")), "keep me");

    FileSystem::CreateFolder(Output(L"folder.ppt"), false);
    EXPECT_EQ(Slidewarp().Convert(input, Output(L"folder.ppt")), 1001);
    EXPECT_TRUE(FileSystem::DirectoryExists(Output(L"folder.ppt")));
}

TEST_F(SlidewarpConversion, InputsThatAreNotConvertiblePackagesAreRefused)
{
    WriteBytes(m_folder.Path(L"empty.pptx"), "");
    WriteBytes(m_folder.Path(L"one.pptx"), "P");
    WriteBytes(m_folder.Path(L"text.pptx"), "This is text.");
    WriteZip(m_folder.Path(L"nopart.pptx"), {{"ppt/slides/slide1.xml", "<p:sld/>"}});
    WriteBytes(m_folder.Path(L"old.pptx"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest");
    WriteModifyProtectedPackage(m_folder.Path(L"protected.pptx"));
    const auto before = GeneratedFolders();

    for (const wchar_t* name : {L"missing.pptx", L"empty.pptx", L"one.pptx", L"text.pptx", L"nopart.pptx"}) {
        std::wstring generated;
        EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(m_folder.Path(name), generated), 3000) << Narrow(name);
    }
    EXPECT_EQ(Slidewarp().Convert(m_folder.Path(L"old.pptx"), Output()), 3001);
    EXPECT_EQ(Slidewarp().Convert(m_folder.Path(L"protected.pptx"), Output()), 2004);
    unsigned int size = 260;
    wchar_t buffer[260] = {};
    EXPECT_EQ(Slidewarp().ConvertPPTXtoPPT(nullptr, buffer, &size), 3000);

    EXPECT_EQ(GeneratedFolders(), before);
    EXPECT_FALSE(FileSystem::FileExists(Output()));
}

TEST_F(SlidewarpConversion, WhatTheProgramFailsToDoIsReportedAndLeavesNoFileBehind)
{
    const std::wstring input = Input();
    const auto before = GeneratedFolders();
    std::wstring generated;

    m_settings.Set(L"OpenReturnsNothing", 1);
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2006);
    EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(input, generated), 2006);
    m_settings.Set(L"OpenReturnsNothing", 0u);

    // The program wrote a file but did not call the save complete.
    m_settings.Set(L"SaveAsResult", static_cast<DWORD>(S_FALSE));
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2001);
    EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(input, generated), 2001);
    m_settings.Set(L"SaveAsResult", 0u);

    EXPECT_FALSE(FileSystem::FileExists(Output()));
    EXPECT_EQ(GeneratedFolders(), before);
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpConversion, AFailureAfterTheConverterRanLeavesOnlyTheConvertersOwnResult)
{
    const std::wstring input = Input();
    const auto before = GeneratedFolders();
    std::wstring generated;
    m_settings.Version(L"11.0", L"6500");
    m_settings.Set(L"FailAdd", 1);

    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2002);
    EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(input, generated), 2002);

    EXPECT_FALSE(FileSystem::FileExists(Output()));
    EXPECT_EQ(GeneratedFolders(), before);
    ExpectNoTemporaryCopy();
    // What the converter wrote, and left open in the program, is the converter's: the
    // conversion never took it over.
    EXPECT_EQ(TempFilesStartingWith(m_stem).size(), 2u);
    m_settings.Set(L"FailAdd", 0u);
    EndPresentationProgram();
    for (const std::wstring& name : TempFilesStartingWith(m_stem))
        FileSystem::DeleteFileW(TempFolder() + name);
}

TEST_F(SlidewarpConversion, AConversionThatCannotBeDoneHereFailsBeforeTouchingAnything)
{
    const std::wstring input = Input();

    m_settings.Version(L"10.0", L"6500");
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2002);
    m_settings.Version(L"not a number", L"x");
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2002);
    m_settings.Version(L"16.0", L"4266");
    // A caller's folder is never created.
    EXPECT_EQ(Slidewarp().Convert(input, m_folder.Path(L"missing\\out.ppt")), 2002);
    EXPECT_FALSE(FileSystem::DirectoryExists(m_folder.Path(L"missing")));

    // The temporary copy cannot be made where a folder has its name.
    const std::wstring blocked = TempFolder() + m_stem + L".pptx";
    FileSystem::CreateFolder(blocked, false);
    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2003);
    FileSystem::DeleteFolder(blocked, true);
    EXPECT_FALSE(FileSystem::FileExists(Output()));
}

TEST_F(SlidewarpConversion, ACompleteSaveStandsWhenClosingThePresentationFails)
{
    m_settings.Set(L"FailClose", 1);
    EXPECT_EQ(Slidewarp().Convert(Input(), Output()), 0);
    EXPECT_TRUE(IsCompoundDocument(Output()));
    ExpectNothingLeftInTemp();
    // The presentation that could not be closed keeps the program alive; let it go.
    m_settings.Set(L"FailClose", 0u);
    EndPresentationProgram();
}

TEST_F(SlidewarpConversion, SupportDependsOnTheVersionAndTheCompatibilityPack)
{
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 0);
    m_settings.Version(L"12.0", L"4518");
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 0);
    m_settings.Version(L"11.0", L"6500");
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 0);
    m_settings.Version(L"10.0", L"6500");
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 2002);

    UnregisterConverter();
    m_settings.Version(L"11.0", L"6500");
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 2002);
    EXPECT_EQ(Slidewarp().Convert(Input(), Output()), 2002);
    RegisterStandins();
}

TEST_F(SlidewarpConversion, VersionTextsAreTruncatedToTheBuffers)
{
    m_settings.Version(L"16.0", L"4266");
    wchar_t version[16];
    wchar_t build[16];
    ASSERT_TRUE(Slidewarp().GetPowerPointVersion(version, 16, build, 16));
    EXPECT_STREQ(version, L"16.0");
    EXPECT_STREQ(build, L"4266");

    ASSERT_TRUE(Slidewarp().GetPowerPointVersion(version, 3, build, 2));
    EXPECT_STREQ(version, L"16");
    EXPECT_STREQ(build, L"4");

    wchar_t single[1] = {L'x'};
    wchar_t other[1] = {L'y'};
    ASSERT_TRUE(Slidewarp().GetPowerPointVersion(single, 1, other, 1));
    EXPECT_EQ(single[0], L'\0');
    EXPECT_EQ(other[0], L'\0');
}

TEST_F(SlidewarpConversion, WithoutTheProgramNothingCanBeDone)
{
    const std::wstring input = Input();
    EndPresentationProgram();
    UnregisterPresentationProgram();

    EXPECT_EQ(Slidewarp().Convert(input, Output()), 2000);
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 2000);
    wchar_t version[8] = {L'v', 0};
    wchar_t build[8] = {L'b', 0};
    EXPECT_FALSE(Slidewarp().GetPowerPointVersion(version, 8, build, 8));
    EXPECT_STREQ(version, L"v");
    EXPECT_STREQ(build, L"b");

    RegisterStandins();
}
