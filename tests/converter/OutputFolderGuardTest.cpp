#include <gtest/gtest.h>

#include <memory>

#include "ConverterState.h"
#include "FailingAllocations.h"
#include "TestFolder.h"
#include "platform/FileSystem.h"

using NsConverter::OutputFolderGuard;
using NsPlatform::FileSystem;

namespace {

std::wstring MakeOutputFolder(const CTestFolder& parent)
{
    const auto folder = parent.Path(L"PPT1A2B.tmp\\");
    FileSystem::CreateFolder(folder + L"inner", false);
    WriteBytes(folder + L"deck.ppt", "ppt");
    WriteBytes(folder + L"inner\\part.bin", "x");
    return folder;
}

} // namespace

TEST(OutputFolderGuard, RemovesTheGeneratedFolderOfAFailedConversion)
{
    CTestFolder parent;
    const auto folder = MakeOutputFolder(parent);
    {
        OutputFolderGuard guard;
        guard.folder = folder;
    }
    EXPECT_FALSE(FileSystem::DirectoryExists(folder));
}

TEST(OutputFolderGuard, KeepsTheFolderOfASuccessfulConversion)
{
    CTestFolder parent;
    const auto folder = MakeOutputFolder(parent);
    {
        OutputFolderGuard guard;
        guard.folder = folder;
        guard.keep = true;
    }
    EXPECT_TRUE(FileSystem::FileExists(folder + L"deck.ppt"));
}

TEST(OutputFolderGuard, WithoutAGeneratedFolderTouchesNothing)
{
    CTestFolder parent;
    const CCurrentDirectory current(parent.Path());
    WriteBytes(parent.Path(L"given.ppt"), "ppt");
    for (const bool keep : {false, true}) {
        OutputFolderGuard guard;
        guard.keep = keep;
    }
    {
        OutputFolderGuard guard;
        guard.folder = parent.Path(L"PPT0000.tmp\\");
    }
    EXPECT_TRUE(FileSystem::FileExists(parent.Path(L"given.ppt")));
}

TEST(OutputFolderGuard, EndsWithoutThrowingWhenMemoryRunsOut)
{
    CTestFolder parent;
    auto guard = std::make_unique<OutputFolderGuard>();
    guard->folder = MakeOutputFolder(parent);
    const CFailingAllocations failing;
    // A guard that threw here, from its destructor, would end the process.
    guard.reset();
}
