#include "Registration.h"

#include "../common/ComOwners.h"
#include "../common/RegistryKey.h"
#include "../common/StandinNames.h"

// This file defines the type library's identifier, which the generated header only declares.
#include <initguid.h>

#include "PowerPointStandin.h"

namespace StandIns {

namespace {

constexpr const wchar_t* kDescription = L"Presentation program stand-in";
constexpr WORD kTypeLibraryMajor = 1;
constexpr WORD kTypeLibraryMinor = 0;

std::wstring ClassKeyPath()
{
    return std::wstring(L"Software\\Classes\\CLSID\\") + kApplicationClsid;
}

std::wstring ProgIdKeyPath()
{
    return std::wstring(L"Software\\Classes\\") + kApplicationProgId;
}

std::wstring LibraryIdText()
{
    wchar_t text[40] = {};
    StringFromGUID2(LIBID_PowerPointStandin, text, 40);
    return text;
}

bool WriteDefault(const std::wstring& path, const std::wstring& value)
{
    return CRegistryKey::Create(HKEY_LOCAL_MACHINE, path).WriteString(nullptr, value);
}

// The type library is registered for the word size of the program that loaded it.
#ifdef _WIN64
constexpr SYSKIND kTypeLibrarySystem = SYS_WIN64;
#else
constexpr SYSKIND kTypeLibrarySystem = SYS_WIN32;
#endif

} // namespace

bool RegisterApplicationServer(const std::wstring& serverPath)
{
    const CComApartment apartment;
    CComPtr<ITypeLib> library;
    // Registering the type library also registers its interfaces with the type-library
    // marshaller, which carries every call across the process boundary.
    if (FAILED(LoadTypeLibEx(serverPath.c_str(), REGKIND_REGISTER, library.Receive())))
        return false;
    const std::wstring classKey = ClassKeyPath();
    return WriteDefault(classKey, kDescription) &&
           WriteDefault(classKey + L"\\LocalServer32", L"\"" + serverPath + L"\" /automation") &&
           WriteDefault(classKey + L"\\ProgID", kApplicationProgId) &&
           WriteDefault(classKey + L"\\TypeLib", LibraryIdText()) && WriteDefault(ProgIdKeyPath(), kDescription) &&
           WriteDefault(ProgIdKeyPath() + L"\\CLSID", kApplicationClsid);
}

bool UnregisterApplicationServer()
{
    const CComApartment apartment;
    // Its result tells apart neither "was not registered" from a failure; the key does.
    UnRegisterTypeLib(LIBID_PowerPointStandin, kTypeLibraryMajor, kTypeLibraryMinor, LANG_NEUTRAL, kTypeLibrarySystem);
    const bool libraryGone = !CRegistryKey::Open(HKEY_CLASSES_ROOT, L"TypeLib\\" + LibraryIdText()).IsOpen();
    const bool classGone = CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, ClassKeyPath());
    const bool progIdGone = CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, ProgIdKeyPath());
    return libraryGone && classGone && progIdGone;
}

} // namespace StandIns
