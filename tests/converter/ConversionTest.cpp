// The parts of a conversion that need no presentation program: temporary names, the
// generated-name protocol's first answer, removing a result, and arguments that are refused
// before anything starts.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Conversion.h"
#include "TestFolder.h"
#include "platform/FileSystem.h"
#include "platform/PathUtils.h"
#include "Win32Owners.h"

using namespace NsConverter;
using NsPlatform::FileSystem;
using NsPlatform::PathUtils;
using NsWin32::CFileHandle;
using testing::MatchesRegex;

namespace {

std::wstring Temp()
{
    return FileSystem::GetTempPathW();
}

// A base name no other test uses.
std::wstring UniqueBase(const wchar_t* name)
{
    return L"swconv-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
}

std::set<std::wstring> GeneratedFolders()
{
    std::set<std::wstring> folders;
    WIN32_FIND_DATAW entry;
    const NsWin32::CFindHandle search(FindFirstFileW((Temp() + L"PPT*.tmp").c_str(), &entry));
    if (search) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.insert(entry.cFileName);
        } while (FindNextFileW(search.Get(), &entry));
    }
    return folders;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Opened without sharing deletion, as a program that still reads the file would.
CFileHandle HoldOpen(const std::wstring& path)
{
    return CFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A folder made as a conversion makes its generated folder, removed at the end of the test.
class CGeneratedFolder {
public:
    CGeneratedFolder() : m_path(PathUtils::GetParentFolder(MakeTempFilePath(L"deck.pptx", L".ppt", true), true))
    {
        EXPECT_TRUE(CreateDirectoryW(m_path.c_str(), nullptr));
    }
    ~CGeneratedFolder() { FileSystem::DeleteFolder(m_path, false); }
    CGeneratedFolder(const CGeneratedFolder&) = delete;
    CGeneratedFolder& operator=(const CGeneratedFolder&) = delete;
    std::wstring Path(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

} // namespace

TEST(MakeTempFilePath, OwnFolderIsAFreshUniqueNameInTheTemporaryDirectory)
{
    const std::wstring path = MakeTempFilePath(L"X:\\decks\\quarter.results.pptx", L".ppt", true);
    const std::wstring folder = PathUtils::GetParentFolder(path, false);

    EXPECT_EQ(PathUtils::GetParentFolder(folder, true), Temp());
    EXPECT_THAT(Narrow(PathUtils::GetFileName(folder, true)), MatchesRegex("PPT\\w+\\.tmp"));
    EXPECT_EQ(PathUtils::GetFileName(path, true), L"quarter.results.ppt");
    // Only reserved: the caller creates it.
    EXPECT_FALSE(FileSystem::DirectoryExists(folder));
    EXPECT_FALSE(FileSystem::FileExists(folder));
    EXPECT_NE(MakeTempFilePath(L"deck.pptx", L".ppt", true), MakeTempFilePath(L"deck.pptx", L".ppt", true));
}

TEST(MakeTempFilePath, CopyNamesCountPastTakenNames)
{
    const std::wstring base = UniqueBase(L"deck");
    const std::wstring first = Temp() + base + L".pptx";
    const std::wstring second = Temp() + base + L"_1.pptx";
    const std::wstring third = Temp() + base + L"_2.pptx";

    EXPECT_EQ(MakeTempFilePath(base + L".pptx", L".pptx", false), first);
    WriteBytes(first, "taken");
    EXPECT_EQ(MakeTempFilePath(base + L".pptx", L".pptx", false), second);
    WriteBytes(second, "taken");
    EXPECT_EQ(MakeTempFilePath(base + L".pptx", L".pptx", false), third);

    FileSystem::DeleteFileW(first);
    FileSystem::DeleteFileW(second);
}

TEST(DeleteConvertedFile, RemovesAGeneratedFolderWithTheFile)
{
    const CGeneratedFolder folder;
    WriteBytes(folder.Path(L"deck.ppt"), "ppt");

    EXPECT_EQ(DeleteConvertedFile(folder.Path(L"deck.ppt").c_str()), DeleteRemoved);
    EXPECT_FALSE(FileSystem::DirectoryExists(folder.Path(L"")));
}

TEST(DeleteConvertedFile, LeavesEveryOtherFolderAndItsContentsAlone)
{
    CTestFolder parent;
    WriteBytes(parent.Path(L"deck.ppt"), "ppt");
    // Named like a generated folder, but the caller's own: not in the temporary directory.
    FileSystem::CreateFolder(parent.Path(L"PPT1A2B.tmp"), false);
    WriteBytes(parent.Path(L"PPT1A2B.tmp\\deck.ppt"), "ppt");
    WriteBytes(parent.Path(L"PPT1A2B.tmp\\notes.txt"), "keep me");

    EXPECT_EQ(DeleteConvertedFile(parent.Path(L"deck.ppt").c_str()), DeleteRemoved);
    EXPECT_EQ(DeleteConvertedFile(parent.Path(L"PPT1A2B.tmp\\deck.ppt").c_str()), DeleteRemoved);

    EXPECT_FALSE(FileSystem::FileExists(parent.Path(L"deck.ppt")));
    EXPECT_FALSE(FileSystem::FileExists(parent.Path(L"PPT1A2B.tmp\\deck.ppt")));
    EXPECT_EQ(ReadBytes(parent.Path(L"PPT1A2B.tmp\\notes.txt")), "keep me");
}

TEST(DeleteConvertedFile, ReportsWhatCouldNotBeRemoved)
{
    CTestFolder parent;
    EXPECT_EQ(DeleteConvertedFile(parent.Path(L"missing.ppt").c_str()), DeleteMissing);
    EXPECT_EQ(DeleteConvertedFile(nullptr), DeleteMissing);

    WriteBytes(parent.Path(L"busy.ppt"), "ppt");
    {
        const CFileHandle busy = HoldOpen(parent.Path(L"busy.ppt"));
        ASSERT_TRUE(busy);
        EXPECT_EQ(DeleteConvertedFile(parent.Path(L"busy.ppt").c_str()), DeleteFailed);
    }
    EXPECT_TRUE(FileSystem::FileExists(parent.Path(L"busy.ppt")));

    const CGeneratedFolder folder;
    WriteBytes(folder.Path(L"deck.ppt"), "ppt");
    WriteBytes(folder.Path(L"held.bin"), "x");
    const CFileHandle held = HoldOpen(folder.Path(L"held.bin"));
    ASSERT_TRUE(held);
    EXPECT_EQ(DeleteConvertedFile(folder.Path(L"deck.ppt").c_str()), DeleteFolderKept);
    EXPECT_FALSE(FileSystem::FileExists(folder.Path(L"deck.ppt")));
}

TEST(ConvertPresentation, AGeneratedNameIsFirstAnsweredWithTheSizeItNeeds)
{
    const std::set<std::wstring> before = GeneratedFolders();
    const std::wstring input = L"C:\\decks\\deck.pptx";
    // The name is TEMP\PPTx.tmp\deck.ppt with one to four hexadecimal digits, plus the slack.
    const std::size_t shortest = Temp().size() + std::wstring(L"PPT0.tmp\\deck.ppt").size() + 10;

    unsigned int size = 12345;
    EXPECT_EQ(ConvertPresentation(input.c_str(), nullptr, &size), StatusBufferTooSmall);
    EXPECT_GE(size, shortest);
    EXPECT_LE(size, shortest + 3);

    wchar_t tooSmall[8] = {};
    size = 8;
    EXPECT_EQ(ConvertPresentation(input.c_str(), tooSmall, &size), StatusBufferTooSmall);
    EXPECT_GE(size, shortest);
    EXPECT_EQ(tooSmall[0], L'\0');

    EXPECT_EQ(GeneratedFolders(), before);
}

TEST(ConvertPresentation, RefusesMissingArgumentsBeforeAnythingStarts)
{
    unsigned int size = 260;
    wchar_t output[260] = {};
    EXPECT_EQ(ConvertPresentation(nullptr, output, &size), StatusUnreadableInput);
    EXPECT_EQ(ConvertPresentation(nullptr, nullptr, nullptr), StatusUnreadableInput);
    // A generated name without anywhere to tell its size.
    EXPECT_EQ(ConvertPresentation(L"C:\\decks\\deck.pptx", nullptr, nullptr), StatusBufferTooSmall);
    EXPECT_EQ(ConvertPresentation(L"C:\\decks\\deck.pptx", output, nullptr), StatusBufferTooSmall);
    EXPECT_EQ(output[0], L'\0');
}

TEST(ReportPowerPointVersion, WritesNothingIntoBuffersWithoutRoom)
{
    wchar_t version[4] = {L'v', L'v', L'v', L'v'};
    wchar_t build[4] = {L'b', L'b', L'b', L'b'};
    EXPECT_FALSE(ReportPowerPointVersion(version, 0, build, 4));
    EXPECT_FALSE(ReportPowerPointVersion(version, 4, build, -1));
    EXPECT_FALSE(ReportPowerPointVersion(nullptr, 4, build, 4));
    EXPECT_FALSE(ReportPowerPointVersion(version, 4, nullptr, 4));
    EXPECT_EQ(std::wstring(version, 4), L"vvvv");
    EXPECT_EQ(std::wstring(build, 4), L"bbbb");
}
