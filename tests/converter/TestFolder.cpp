#include "TestFolder.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/FileSystem.h"
#include "Win32Owners.h"

namespace {

// The mount-point layout of a reparse buffer (the kernel's REPARSE_DATA_BUFFER).
struct MountPointReparseBuffer {
    DWORD reparseTag;
    WORD reparseDataLength;
    WORD reserved;
    WORD substituteNameOffset;
    WORD substituteNameLength;
    WORD printNameOffset;
    WORD printNameLength;
    WCHAR pathBuffer[1];
};

std::wstring UniqueFolderName()
{
    static LONG counter = 0;
    return L"swtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
}

} // namespace

CTestFolder::CTestFolder()
{
    // Wine reuses small process ids, so a run that was killed may have left a folder of the same
    // name behind: that name is skipped, never reused.
    bool created = false;
    for (int attempt = 0; attempt < 100 && !created; ++attempt) {
        m_path = NsPlatform::FileSystem::GetTempPathW() + UniqueFolderName();
        created = CreateDirectoryW(m_path.c_str(), nullptr) != FALSE;
        if (!created && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    EXPECT_TRUE(created) << "cannot create the test folder";
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

bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    {
        const NsWin32::CFileHandle handle(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                      nullptr));
        if (!handle)
            return false;
        const std::wstring substitute = L"\\??\\" + target;
        const WORD nameBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        std::vector<char> buffer(sizeof(MountPointReparseBuffer) + nameBytes + 2 * sizeof(wchar_t), 0);
        auto* reparse = reinterpret_cast<MountPointReparseBuffer*>(buffer.data());
        reparse->reparseTag = IO_REPARSE_TAG_MOUNT_POINT;
        reparse->substituteNameLength = nameBytes;
        reparse->printNameOffset = static_cast<WORD>(nameBytes + sizeof(wchar_t));
        std::memcpy(reparse->pathBuffer, substitute.c_str(), nameBytes);
        reparse->reparseDataLength = static_cast<WORD>(4 * sizeof(WORD) + nameBytes + 2 * sizeof(wchar_t));
        DWORD returned = 0;
        DeviceIoControl(handle.Get(), FSCTL_SET_REPARSE_POINT, reparse, 8 + reparse->reparseDataLength, nullptr, 0,
                        &returned, nullptr);
    }
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
