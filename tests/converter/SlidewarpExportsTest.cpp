#include <windows.h>

#include <cxxabi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

using testing::ContainerEq;

namespace {

class CLibrary {
public:
    explicit CLibrary(const wchar_t* name) : m_module(LoadLibraryW(name)) {}
    ~CLibrary()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module;
};

// The readable form of an exported name, with the wide string type spelled short.
std::string Demangle(const char* name)
{
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                                &std::free);
    std::string text = status == 0 ? demangled.get() : name;
    const std::string wstring =
        "std::__cxx11::basic_string<wchar_t, std::char_traits<wchar_t>, std::allocator<wchar_t> >";
    for (auto at = text.find(wstring); at != std::string::npos; at = text.find(wstring, at))
        text.replace(at, wstring.size(), "std::wstring");
    return text;
}

// Every name in the module's export directory that belongs to NsPlatform, demangled, after
// checking that GetProcAddress resolves it.
std::set<std::string> ExportedPlatformMembers(HMODULE module)
{
    const auto base = reinterpret_cast<const BYTE*>(module);
    const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> members;
    if (entry.Size == 0)
        return members;
    const auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const auto name = reinterpret_cast<const char*>(base + names[i]);
        const std::string readable = Demangle(name);
        if (readable.rfind("NsPlatform::", 0) != 0)
            continue;
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
        members.insert(readable);
    }
    return members;
}

// A generic function pointer first: GetProcAddress's own type says nothing about the export.
template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

TEST(SlidewarpExports, FileAndPathUtilitiesAreExportedByTheirMemberNames)
{
    const CLibrary slidewarp(L"Slidewarp.dll");
    ASSERT_NE(slidewarp.Get(), nullptr);

    const std::set<std::string> expected = {
        "NsPlatform::FileSystem::operator=(NsPlatform::FileSystem const&)",
        "NsPlatform::FileSystem::CreateFolder(std::wstring const&, bool)",
        "NsPlatform::FileSystem::FileExists(std::wstring)",
        "NsPlatform::FileSystem::DirectoryExists(std::wstring)",
        "NsPlatform::FileSystem::GetTempPathW[abi:cxx11]()",
        "NsPlatform::FileSystem::GetTempFileNameW(std::wstring, std::wstring)",
        "NsPlatform::FileSystem::GetTempFolder(std::wstring)",
        "NsPlatform::FileSystem::CopyFileW(std::wstring const&, std::wstring const&, int)",
        "NsPlatform::FileSystem::MoveFileW(std::wstring const&, std::wstring const&)",
        "NsPlatform::FileSystem::GetFileModificationTime(std::wstring)",
        "NsPlatform::FileSystem::IsFileReadOnly(std::wstring)",
        "NsPlatform::FileSystem::DeleteFileW(std::wstring)",
        "NsPlatform::FileSystem::DeleteFolder(std::wstring, bool)",
        "NsPlatform::FileSystem::FilesList(std::wstring)",
        "NsPlatform::PathUtils::operator=(NsPlatform::PathUtils const&)",
        "NsPlatform::PathUtils::GetDirectorySeparator[abi:cxx11]()",
        "NsPlatform::PathUtils::GetFileExtSeparator[abi:cxx11]()",
        "NsPlatform::PathUtils::GetParentFolder(std::wstring, bool)",
        "NsPlatform::PathUtils::GetFileName(std::wstring, bool)",
        "NsPlatform::PathUtils::GetFileExt(std::wstring, bool)",
        "NsPlatform::PathUtils::CreateFilePath(std::wstring, std::wstring, bool)",
    };
    // Exactly these: the named mutex and the rest of the library stay private.
    EXPECT_THAT(ExportedPlatformMembers(slidewarp.Get()), ContainerEq(expected));
}

TEST(SlidewarpExports, CallerSharingTheRuntimeCanCallThroughTheExports)
{
    const CLibrary slidewarp(L"Slidewarp.dll");
    ASSERT_NE(slidewarp.Get(), nullptr);

    using CreateFilePath = std::wstring (*)(std::wstring, std::wstring, bool);
    const auto createFilePath = Resolve<CreateFilePath>(
        slidewarp.Get(),
        "_ZN10NsPlatform9PathUtils14CreateFilePathENSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEES6_b");
    ASSERT_NE(createFilePath, nullptr);
    EXPECT_EQ(createFilePath(L"X:\\a folder name longer than the short-string buffer", L"deck.ppt", false),
              L"X:\\a folder name longer than the short-string buffer\\deck.ppt");

    using CreateFolder = void (*)(const std::wstring&, bool);
    const auto createFolder = Resolve<CreateFolder>(
        slidewarp.Get(),
        "_ZN10NsPlatform10FileSystem12CreateFolderERKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEEb");
    ASSERT_NE(createFolder, nullptr);
    createFolder(L"", true);
}

TEST(SlidewarpExports, ConversionFunctionsAreExportedByTheirPlainNames)
{
    const CLibrary slidewarp(L"Slidewarp.dll");
    ASSERT_NE(slidewarp.Get(), nullptr);
    for (const char* name : {"ConvertPPTXtoPPT", "IsPPTXtoPPTSupported", "GetPowerPointVersion", "DeleteOutputFile"})
        EXPECT_NE(GetProcAddress(slidewarp.Get(), name), nullptr) << name;
}
