#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwctype>
#include <vector>

#include "FailingAllocations.h"
#include "TestFolder.h"
#include "platform/FileSystem.h"

using NsPlatform::FileSystem;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TEST(FileSystem, ExistenceTellsFilesFromFolders)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"file.txt"), "x");
    EXPECT_TRUE(FileSystem::FileExists(folder.Path(L"file.txt")));
    EXPECT_FALSE(FileSystem::DirectoryExists(folder.Path(L"file.txt")));
    EXPECT_TRUE(FileSystem::DirectoryExists(folder.Path()));
    EXPECT_FALSE(FileSystem::FileExists(folder.Path()));
    EXPECT_FALSE(FileSystem::FileExists(L""));
    EXPECT_FALSE(FileSystem::DirectoryExists(L""));
    EXPECT_FALSE(FileSystem::FileExists(folder.Path(L"missing")));
}

TEST(FileSystem, CreateFolderMakesMissingParentsAndIgnoresTrailingSeparators)
{
    CTestFolder folder;
    FileSystem::CreateFolder(folder.Path(L"a\\b\\c\\"), false);
    EXPECT_TRUE(FileSystem::DirectoryExists(folder.Path(L"a\\b\\c")));
    FileSystem::CreateFolder(folder.Path(L"d\\e/"), true);
    EXPECT_TRUE(FileSystem::DirectoryExists(folder.Path(L"d\\e")));
}

TEST(FileSystem, CreateFolderWithoutAFolderNameDoesNothing)
{
    EXPECT_NO_THROW(FileSystem::CreateFolder(L"", false));
    EXPECT_NO_THROW(FileSystem::CreateFolder(L"", true));
    EXPECT_NO_THROW(FileSystem::CreateFolder(L"\\/\\", true));
}

TEST(FileSystem, CopyRespectsOverwriteAndReplacesReadOnlyTargets)
{
    CTestFolder folder;
    const auto from = folder.Path(L"from.txt");
    const auto to = folder.Path(L"to.txt");
    WriteBytes(from, "new");
    WriteBytes(to, "old");
    MakeReadOnly(to);

    EXPECT_FALSE(FileSystem::CopyFileW(from, to, 0));
    EXPECT_EQ(ReadBytes(to), "old");
    EXPECT_TRUE(FileSystem::CopyFileW(from, to, 1));
    EXPECT_EQ(ReadBytes(to), "new");
    EXPECT_EQ(ReadBytes(from), "new");
}

TEST(FileSystem, CopyAndMoveCreateTheTargetFolder)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"a.txt"), "a");
    EXPECT_TRUE(FileSystem::CopyFileW(folder.Path(L"a.txt"), folder.Path(L"x\\y\\a.txt"), 0));
    EXPECT_EQ(ReadBytes(folder.Path(L"x\\y\\a.txt")), "a");
    EXPECT_TRUE(FileSystem::MoveFileW(folder.Path(L"a.txt"), folder.Path(L"z\\a.txt")));
    EXPECT_EQ(ReadBytes(folder.Path(L"z\\a.txt")), "a");
    EXPECT_FALSE(Exists(folder.Path(L"a.txt")));
}

TEST(FileSystem, CopyAndMoveToABareNameUseTheCurrentDirectory)
{
    CTestFolder folder;
    const CCurrentDirectory current(folder.Path());
    WriteBytes(folder.Path(L"a.txt"), "a");
    EXPECT_TRUE(FileSystem::CopyFileW(folder.Path(L"a.txt"), L"copy.txt", 0));
    EXPECT_TRUE(FileSystem::MoveFileW(folder.Path(L"a.txt"), L"moved.txt"));
    EXPECT_EQ(ReadBytes(folder.Path(L"copy.txt")), "a");
    EXPECT_EQ(ReadBytes(folder.Path(L"moved.txt")), "a");
}

TEST(FileSystem, IdenticalNamesAreLeftAlone)
{
    CTestFolder folder;
    const auto file = folder.Path(L"same.txt");
    EXPECT_TRUE(FileSystem::CopyFileW(file, file, 0));
    EXPECT_TRUE(FileSystem::MoveFileW(file, file));
    EXPECT_FALSE(Exists(file));
}

TEST(FileSystem, CopyOntoAnotherSpellingOfTheSourceKeepsTheData)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"deck.txt"), "data");
    // A different string, but the same file: replacing the target must not delete the source.
    FileSystem::CopyFileW(folder.Path(L"deck.txt"), folder.Path(L"DECK.TXT"), 1);
    EXPECT_EQ(ReadBytes(folder.Path(L"deck.txt")), "data");
}

TEST(FileSystem, CopyFromAMissingSourceKeepsTheTarget)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"to.txt"), "keep");
    EXPECT_FALSE(FileSystem::CopyFileW(folder.Path(L"missing.txt"), folder.Path(L"to.txt"), 1));
    EXPECT_EQ(ReadBytes(folder.Path(L"to.txt")), "keep");
}

TEST(FileSystem, MoveReplacesTheTargetAndAcceptsANewLetterCase)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"from.txt"), "new");
    WriteBytes(folder.Path(L"to.txt"), "old");
    EXPECT_TRUE(FileSystem::MoveFileW(folder.Path(L"from.txt"), folder.Path(L"to.txt")));
    EXPECT_EQ(ReadBytes(folder.Path(L"to.txt")), "new");

    // Different strings, so a real move (a rename on a file system that ignores case).
    EXPECT_TRUE(FileSystem::MoveFileW(folder.Path(L"to.txt"), folder.Path(L"TO.txt")));
    EXPECT_EQ(ReadBytes(folder.Path(L"TO.txt")), "new");
}

TEST(FileSystem, DeleteFileTakesReadOnlyFilesButNotFolders)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"ro.txt"), "x");
    MakeReadOnly(folder.Path(L"ro.txt"));
    EXPECT_TRUE(FileSystem::IsFileReadOnly(folder.Path(L"ro.txt")));
    EXPECT_TRUE(FileSystem::DeleteFileW(folder.Path(L"ro.txt")));
    EXPECT_FALSE(Exists(folder.Path(L"ro.txt")));
    EXPECT_FALSE(FileSystem::DeleteFileW(folder.Path(L"ro.txt")));

    CreateDirectoryW(folder.Path(L"sub").c_str(), nullptr);
    EXPECT_FALSE(FileSystem::IsFileReadOnly(folder.Path(L"sub")));
    EXPECT_FALSE(FileSystem::DeleteFileW(folder.Path(L"sub")));
    EXPECT_TRUE(FileSystem::DirectoryExists(folder.Path(L"sub")));
}

TEST(FileSystem, MembersTakingTheirPathByValueStillAnswerWithoutMemory)
{
    CTestFolder folder;
    const auto file = folder.Path(L"ro.txt");
    WriteBytes(file, "x");
    MakeReadOnly(file);
    // Moved in, because copying an argument would be the caller's allocation.
    std::wstring forReadOnly = file;
    std::wstring forTime = file;
    std::wstring forDelete = file;
    bool readOnly = false;
    FILETIME written{};
    bool deleted = false;
    {
        const CFailingAllocations failing;
        readOnly = FileSystem::IsFileReadOnly(std::move(forReadOnly));
        written = FileSystem::GetFileModificationTime(std::move(forTime));
        deleted = FileSystem::DeleteFileW(std::move(forDelete));
    }
    EXPECT_TRUE(readOnly);
    EXPECT_NE(written.dwLowDateTime | written.dwHighDateTime, 0u);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(Exists(file));
}

TEST(FileSystem, DeleteFolderEmptyOnlyLeavesContent)
{
    CTestFolder folder;
    CreateDirectoryW(folder.Path(L"full").c_str(), nullptr);
    WriteBytes(folder.Path(L"full\\f.txt"), "x");
    CreateDirectoryW(folder.Path(L"empty").c_str(), nullptr);

    EXPECT_FALSE(FileSystem::DeleteFolder(folder.Path(L"full"), true));
    EXPECT_TRUE(Exists(folder.Path(L"full\\f.txt")));
    EXPECT_TRUE(FileSystem::DeleteFolder(folder.Path(L"empty"), true));
    EXPECT_FALSE(Exists(folder.Path(L"empty")));
    EXPECT_FALSE(FileSystem::DeleteFolder(folder.Path(L"missing"), true));
    EXPECT_FALSE(FileSystem::DeleteFolder(folder.Path(L"full\\f.txt"), false));
}

TEST(FileSystem, DeleteFolderRemovesNestedFoldersAndReadOnlyFiles)
{
    CTestFolder folder;
    FileSystem::CreateFolder(folder.Path(L"tree\\a\\b"), true);
    WriteBytes(folder.Path(L"tree\\top.txt"), "x");
    WriteBytes(folder.Path(L"tree\\a\\b\\deep.txt"), "x");
    MakeReadOnly(folder.Path(L"tree\\a\\b\\deep.txt"));

    EXPECT_TRUE(FileSystem::DeleteFolder(folder.Path(L"tree\\"), false));
    EXPECT_FALSE(Exists(folder.Path(L"tree")));
}

TEST(FileSystem, DeleteFolderRemovesAJunctionWithoutFollowingIt)
{
    CTestFolder folder;
    CreateDirectoryW(folder.Path(L"outside").c_str(), nullptr);
    WriteBytes(folder.Path(L"outside\\precious.txt"), "x");
    CreateDirectoryW(folder.Path(L"doomed").c_str(), nullptr);
    if (!MakeJunction(folder.Path(L"doomed\\link"), folder.Path(L"outside")))
        GTEST_SKIP() << "this file system cannot make directory junctions";

    EXPECT_TRUE(FileSystem::DeleteFolder(folder.Path(L"doomed"), false));
    EXPECT_FALSE(Exists(folder.Path(L"doomed")));
    EXPECT_EQ(ReadBytes(folder.Path(L"outside\\precious.txt")), "x");
}

TEST(FileSystem, TempPathEndsWithABackslash)
{
    const auto temp = FileSystem::GetTempPathW();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(FileSystem::DirectoryExists(temp));
}

TEST(FileSystem, TempFileNameCreatesAnEmptyFile)
{
    CTestFolder folder;
    const auto name = FileSystem::GetTempFileNameW(folder.Path(), L"SWT");
    ASSERT_EQ(name.compare(0, folder.Path().size() + 3, folder.Path() + L"SWT"), 0) << name;
    EXPECT_TRUE(FileSystem::FileExists(name));
    EXPECT_EQ(ReadBytes(name), "");
    EXPECT_EQ(FileSystem::GetTempFileNameW(folder.Path(L"missing"), L"SWT"), L"");
}

TEST(FileSystem, TempFolderIsAnUnusedNameInTheTempDirectory)
{
    const auto temp = FileSystem::GetTempPathW();
    const auto name = FileSystem::GetTempFolder(L"PPT");
    // TEMP\PPTxxxx.tmp with hexadecimal digits.
    ASSERT_GT(name.size(), temp.size() + 3 + 4);
    EXPECT_EQ(name.compare(0, temp.size() + 3, temp + L"PPT"), 0) << name;
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp");
    const auto digits = name.substr(temp.size() + 3, name.size() - temp.size() - 3 - 4);
    EXPECT_FALSE(digits.empty());
    for (const wchar_t ch : digits)
        EXPECT_TRUE(std::iswxdigit(ch)) << name;
    EXPECT_FALSE(Exists(name));
}

TEST(FileSystem, FilesListNamesEveryEntry)
{
    CTestFolder folder;
    WriteBytes(folder.Path(L"only.txt"), "x");
    EXPECT_THAT(FileSystem::FilesList(folder.Path()), UnorderedElementsAre(L".", L"..", L"only.txt"));
    CreateDirectoryW(folder.Path(L"sub").c_str(), nullptr);
    EXPECT_THAT(FileSystem::FilesList(folder.Path()), UnorderedElementsAre(L".", L"..", L"only.txt", L"sub"));
    EXPECT_THAT(FileSystem::FilesList(folder.Path(L"missing")), ElementsAre());
}

TEST(FileSystem, ModificationTimeIsTheLastWriteOfAFile)
{
    CTestFolder folder;
    const auto file = folder.Path(L"dated.txt");
    WriteBytes(file, "x");
    const FILETIME written{0x12345600, 0x01D00000};
    const HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetFileTime(handle, nullptr, nullptr, &written);
    CloseHandle(handle);

    const FILETIME read = FileSystem::GetFileModificationTime(file);
    EXPECT_EQ(CompareFileTime(&read, &written), 0);
    const FILETIME ofFolder = FileSystem::GetFileModificationTime(folder.Path());
    EXPECT_EQ(ofFolder.dwLowDateTime | ofFolder.dwHighDateTime, 0u);
    const FILETIME ofMissing = FileSystem::GetFileModificationTime(folder.Path(L"missing"));
    EXPECT_EQ(ofMissing.dwLowDateTime | ofMissing.dwHighDateTime, 0u);
}
