#include "TestFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/FileSystem.h"

namespace {

std::wstring UniqueFolderName()
{
    static LONG counter = 0;
    return L"swtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
}

} // namespace

CTestFolder::CTestFolder()
    : m_path(NsPlatform::FileSystem::GetTempPathW() + UniqueFolderName())
{
    EXPECT_TRUE(CreateDirectoryW(m_path.c_str(), nullptr)) << "cannot create the test folder";
}

CTestFolder::~CTestFolder()
{
    NsPlatform::FileSystem::DeleteFolder(m_path, false);
}

CCurrentDirectory::CCurrentDirectory(const std::wstring& path)
{
    wchar_t old[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, old);
    m_old.assign(old, length < MAX_PATH ? length : 0);
    EXPECT_TRUE(SetCurrentDirectoryW(path.c_str()));
}

CCurrentDirectory::~CCurrentDirectory()
{
    SetCurrentDirectoryW(m_old.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(path.c_str(), std::ios::binary);
    file << bytes;
    EXPECT_TRUE(file.good()) << "cannot write the fixture file";
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void MakeReadOnly(const std::wstring& path)
{
    EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}
