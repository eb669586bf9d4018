// The presentation-program stand-in starts LibreOffice as a program that may outlive the save.
// Here the test process takes the stand-in's place and StalledOffice.exe LibreOffice's: the
// converter must get none of its starter's standard handles, or it could hold a caller's
// output open after everything else has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include "EndToEndSupport.h"
#include "LibreOfficeExport.h"
#include "TestFolder.h"
#include "TestTime.h"
#include "platform/FileSystem.h"

using NsWin32::CFileHandle;

namespace {

const DWORD kConversionTimeoutMs = NsTestSupport::ScaledMs(60000);

// Makes one handle the process's standard input, output and error for a scope.
class CStandardHandlesScope {
public:
    explicit CStandardHandlesScope(HANDLE handle)
    {
        for (int index = 0; index < kCount; ++index) {
            m_saved[index] = GetStdHandle(kWhich[index]);
            SetStdHandle(kWhich[index], handle);
        }
    }
    ~CStandardHandlesScope()
    {
        for (int index = 0; index < kCount; ++index)
            SetStdHandle(kWhich[index], m_saved[index]);
    }
    CStandardHandlesScope(const CStandardHandlesScope&) = delete;
    CStandardHandlesScope& operator=(const CStandardHandlesScope&) = delete;

private:
    static constexpr int kCount = 3;
    static constexpr DWORD kWhich[kCount] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE m_saved[kCount] = {};
};

} // namespace

TEST(LibreOfficeStart, TheConverterGetsNoneOfItsStartersStandardHandles)
{
    CTestFolder folder;
    const std::wstring captured = folder.Path(L"captured.txt");
    const std::wstring target = folder.Path(L"deck.ppt");
    // Inheritable, so that not even a start that inherits handles could pass it on unnoticed.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HRESULT result = E_FAIL;
    {
        const CFileHandle capture(CreateFileW(captured.c_str(), GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(capture);
        const CStandardHandlesScope standardHandles(capture.Get());
        const StandIns::SPresentationContent content{{'P', 'K', 3, 4}, L".pptx"};
        result = StandIns::ConvertWithLibreOffice(EndToEnd::BinFolder() + L"StalledOffice.exe", content, target,
                                                  kConversionTimeoutMs);
    }
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(NsPlatform::FileSystem::FileExists(target));
    EXPECT_EQ(ReadBytes(captured), "");
}
