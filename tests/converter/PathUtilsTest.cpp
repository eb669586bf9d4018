#include <gtest/gtest.h>

#include "TestFolder.h"
#include "platform/PathUtils.h"

using NsPlatform::PathUtils;

TEST(PathUtils, SeparatorsAreBackslashAndDot)
{
    EXPECT_EQ(PathUtils::GetDirectorySeparator(), L"\\");
    EXPECT_EQ(PathUtils::GetFileExtSeparator(), L".");
}

TEST(PathUtils, ParentFolderEndsAtTheLastBackslash)
{
    EXPECT_EQ(PathUtils::GetParentFolder(L"file.txt", false), L"");
    EXPECT_EQ(PathUtils::GetParentFolder(L"file.txt", true), L"");
    EXPECT_EQ(PathUtils::GetParentFolder(L"X:\\file", false), L"X:");
    EXPECT_EQ(PathUtils::GetParentFolder(L"X:\\file", true), L"X:\\");
    EXPECT_EQ(PathUtils::GetParentFolder(L"X:\\dir\\sub\\", false), L"X:\\dir\\sub");
    EXPECT_EQ(PathUtils::GetParentFolder(L"X:\\dir\\sub\\", true), L"X:\\dir\\sub\\");
    // A forward slash is an ordinary character.
    EXPECT_EQ(PathUtils::GetParentFolder(L"X:\\dir/sub/file", false), L"X:");
    EXPECT_EQ(PathUtils::GetParentFolder(L"", true), L"");
}

TEST(PathUtils, FileNameFollowsTheLastBackslashAndLosesOnlyTheLastExtension)
{
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\dir\\deck.pptx", true), L"deck.pptx");
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\dir\\deck.pptx", false), L"deck");
    EXPECT_EQ(PathUtils::GetFileName(L"archive.tar.gz", false), L"archive.tar");
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\dir\\", true), L"");
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\dir\\.hidden", false), L"");
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\dir\\.hidden", true), L".hidden");
    // The dot of a folder name is not an extension of the file.
    EXPECT_EQ(PathUtils::GetFileName(L"X:\\my.folder\\file", false), L"file");
}

TEST(PathUtils, ExtensionStartsAtTheLastDotOfTheWholePathAndIsLowerCased)
{
    EXPECT_EQ(PathUtils::GetFileExt(L"DOC.PPTX", false), L"pptx");
    EXPECT_EQ(PathUtils::GetFileExt(L"DOC.PPTX", true), L".pptx");
    EXPECT_EQ(PathUtils::GetFileExt(L"X:\\my.folder\\file", false), L"folder\\file");
    EXPECT_EQ(PathUtils::GetFileExt(L"X:\\dir\\README", true), L"");
    // Lowered by the language's rules, not only A to Z.
    EXPECT_EQ(PathUtils::GetFileExt(L"notes.\u00C4\u00D6", false), L"\u00E4\u00F6");
}

TEST(PathUtils, FilePathJoinsWithExactlyOneBackslash)
{
    EXPECT_EQ(PathUtils::CreateFilePath(L"X:\\dir", L"a.ppt", false), L"X:\\dir\\a.ppt");
    EXPECT_EQ(PathUtils::CreateFilePath(L"X:\\dir\\", L"a.ppt", false), L"X:\\dir\\a.ppt");
    EXPECT_EQ(PathUtils::CreateFilePath(L"", L"a.ppt", false), L"a.ppt");
    EXPECT_EQ(PathUtils::CreateFilePath(L"X:\\dir/", L"a.ppt", false), L"X:\\dir/\\a.ppt");
}

TEST(PathUtils, FilePathWithFolderCheckNeedsAnExistingFolder)
{
    CTestFolder folder;
    EXPECT_EQ(PathUtils::CreateFilePath(folder.Path(), L"a.ppt", true), folder.Path(L"a.ppt"));
    EXPECT_EQ(PathUtils::CreateFilePath(folder.Path(L"missing"), L"a.ppt", true), L"");
}
