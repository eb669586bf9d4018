// Converting a .pptx into a .ppt through the registered stand-ins, from another process: by
// the presentation program's Open and SaveAs, and by moc.exe, whose result stays open there.
#include "StandinTestSupport.h"

#include "../../office_standins/common/FilePaths.h"

#include <algorithm>

namespace StandInTests {
namespace {

class StandinConversion : public StandinClientTest {
protected:
    void SetUp() override
    {
        StandinClientTest::SetUp();
        // The compound-document writer, whatever is installed; one test below asks for LibreOffice.
        m_settings.SetText(L"LibreOffice", L"");
        WritePresentationPackage(m_folder.File(L"deck.pptx"));
    }

    std::wstring OnlyOpenPresentationName()
    {
        long count = 0;
        EXPECT_EQ(GetCount(Presentations(), Slot::kPresentationsCount, count), S_OK);
        EXPECT_EQ(count, 1);
        CComPtr<IUnknown> presentation;
        std::wstring name;
        if (PresentationItem(Presentations(), 1, presentation) == S_OK) {
            EXPECT_EQ(GetText(presentation.Get(), Slot::kPresentationFullName, name), S_OK);
        }
        return name;
    }

    CTestFolder m_folder;
};

TEST_F(StandinConversion, APackageOpensAndSavesAsACompoundDocumentUnderItsNewName)
{
    CComPtr<IUnknown> presentation;
    ASSERT_EQ(OpenPresentation(Presentations(), m_folder.File(L"deck.pptx"), presentation), S_OK);
    ASSERT_TRUE(presentation);
    std::wstring name;
    ASSERT_EQ(GetText(presentation.Get(), Slot::kPresentationFullName, name), S_OK);
    EXPECT_EQ(name, m_folder.File(L"deck.pptx"));

    ASSERT_EQ(SavePresentation(presentation.Get(), m_folder.File(L"deck.ppt")), S_OK);
    EXPECT_TRUE(CompoundDocumentElements(m_folder.File(L"deck.ppt")).empty());
    ASSERT_EQ(GetText(presentation.Get(), Slot::kPresentationFullName, name), S_OK);
    EXPECT_EQ(name, m_folder.File(L"deck.ppt"));
}

TEST_F(StandinConversion, OpeningAMissingFileFailsAndSavingIntoAMissingFolderFails)
{
    CComPtr<IUnknown> presentation;
    EXPECT_TRUE(FAILED(OpenPresentation(Presentations(), m_folder.File(L"missing.pptx"), presentation)));
    EXPECT_FALSE(presentation);

    ASSERT_EQ(OpenPresentation(Presentations(), m_folder.File(L"deck.pptx"), presentation), S_OK);
    EXPECT_TRUE(FAILED(SavePresentation(presentation.Get(), m_folder.File(L"no-such-folder\\deck.ppt"))));
}

TEST_F(StandinConversion, MocLeavesTheConvertedPresentationOpenInTheRunningInstance)
{
    const FILETIME start = CurrentTime();
    ASSERT_EQ(RunBinProgram(L"moc.exe", L"\"" + m_folder.File(L"deck.pptx") + L"\""), 0u);

    const std::wstring converted = OnlyOpenPresentationName();
    EXPECT_EQ(converted, m_folder.File(L"deck.ppt"));
    const FILETIME written = FileWriteTime(converted);
    EXPECT_NE(CompareFileTime(&written, &start), -1) << "written at or after the start";
    EXPECT_TRUE(CompoundDocumentElements(converted).empty());

    // A second conversion of the same input takes a free name instead of the first result's.
    ASSERT_EQ(RunBinProgram(L"moc.exe", L"\"" + m_folder.File(L"deck.pptx") + L"\""), 0u);
    CComPtr<IUnknown> second;
    ASSERT_EQ(PresentationItem(Presentations(), 2, second), S_OK);
    std::wstring secondName;
    ASSERT_EQ(GetText(second.Get(), Slot::kPresentationFullName, secondName), S_OK);
    EXPECT_EQ(secondName, m_folder.File(L"deck (2).ppt"));
}

TEST_F(StandinConversion, MocStartsTheProgramWhenNoneRunsAndTheResultKeepsItRunning)
{
    m_presentations.Reset();
    m_application.Reset();
    ASSERT_TRUE(WaitForServersToEnd(40000));

    ASSERT_EQ(RunBinProgram(L"moc.exe", L"\"" + m_folder.File(L"deck.pptx") + L"\""), 0u);
    EXPECT_EQ(RunningServerIds().size(), 1u);
    ASSERT_EQ(CreateApplication(m_application), S_OK);
    ASSERT_EQ(GetObject(m_application.Get(), Slot::kApplicationPresentations, m_presentations), S_OK);
    EXPECT_EQ(OnlyOpenPresentationName(), m_folder.File(L"deck.ppt"));
}

TEST_F(StandinConversion, MocCanBeMadeToFailWithoutTouchingTheProgram)
{
    m_settings.SetConverterNumber(L"Fail", 1);
    EXPECT_EQ(RunBinProgram(L"moc.exe", L"\"" + m_folder.File(L"deck.pptx") + L"\""), 3u);
    long count = -1;
    ASSERT_EQ(GetCount(Presentations(), Slot::kPresentationsCount, count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(StandIns::FileExists(m_folder.File(L"deck.ppt")));
    EXPECT_EQ(RunBinProgram(L"moc.exe", L""), 2u) << "no input";
}

TEST_F(StandinConversion, LibreOfficeWritesARealPowerPointFile)
{
    constexpr const wchar_t* kLibreOffice = L"Z:\\usr\\bin\\soffice";
    if (!StandIns::FileExists(kLibreOffice))
        GTEST_SKIP() << "LibreOffice is not installed";
    m_settings.SetText(L"LibreOffice", kLibreOffice);
    CComPtr<IUnknown> presentation;
    ASSERT_EQ(OpenPresentation(Presentations(), m_folder.File(L"deck.pptx"), presentation), S_OK);
    ASSERT_EQ(SavePresentation(presentation.Get(), m_folder.File(L"deck.ppt")), S_OK);
    const std::vector<std::wstring> elements = CompoundDocumentElements(m_folder.File(L"deck.ppt"));
    EXPECT_NE(std::find(elements.begin(), elements.end(), L"PowerPoint Document"), elements.end());
}

} // namespace
} // namespace StandInTests
