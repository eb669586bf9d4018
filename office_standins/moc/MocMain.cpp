// moc.exe: stands in for the compatibility pack's converter. Given a .pptx, it has the running
// presentation program open it and save it in the 97-2003 format beside the input, and leaves
// that presentation open there for whoever asked for the conversion.
// "/RegServer" and "/UnregServer" register and unregister the converter.
#include "ConverterRegistration.h"

#include "../common/ComOwners.h"
#include "../common/CommandLine.h"
#include "../common/FilePaths.h"
#include "../common/RegistryKey.h"
#include "../common/StandinNames.h"

#include "PowerPointStandin.h"

namespace StandIns {

namespace {

enum EExitCode {
    kExitConverted = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitInjectedFailure = 3,
};

// Beside the input: NAME.ppt, or NAME (2).ppt and so on when that is taken.
std::wstring FreeOutputPath(const std::wstring& input)
{
    const std::wstring stem = ParentFolder(input) + L"\\" + BaseNameOf(input);
    std::wstring candidate = stem + L".ppt";
    for (unsigned number = 2; FileExists(candidate); ++number)
        candidate = stem + L" (" + std::to_wstring(number) + L").ppt";
    return candidate;
}

HRESULT OpenRunningApplication(CComPtr<_Application>& application)
{
    CLSID clsid = {};
    const HRESULT hr = CLSIDFromProgID(kApplicationProgId, &clsid);
    if (FAILED(hr))
        return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(_Application),
                            reinterpret_cast<void**>(application.Receive()));
}

int Convert(const std::wstring& argument)
{
    const std::wstring input = FullPathOf(argument);
    if (input.empty() || !FileExists(input))
        return kExitUsage;
    const CComApartment apartment;
    CComPtr<_Application> application;
    CComPtr<Presentations> presentations;
    if (FAILED(OpenRunningApplication(application)) || FAILED(application->get_Presentations(presentations.Receive())))
        return kExitFailed;
    CComPtr<_Presentation> presentation;
    const CBstr inputName(input);
    if (FAILED(presentations->Open(inputName.Get(), msoTrue, msoFalse, msoFalse, presentation.Receive())) ||
        !presentation)
        return kExitFailed;
    const CBstr outputName(FreeOutputPath(input));
    if (presentation->SaveAs(outputName.Get(), ppSaveAsPresentation, msoFalse) != S_OK) {
        presentation->Close();
        return kExitFailed;
    }
    return kExitConverted;
}

} // namespace

} // namespace StandIns

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    using namespace StandIns;
    const std::vector<std::wstring> arguments = CommandLineArguments();
    for (const std::wstring& argument : arguments) {
        if (IsSwitch(argument, L"RegServer"))
            return RegisterConverter(ModuleFilePath(nullptr)) ? kExitConverted : kExitFailed;
        if (IsSwitch(argument, L"UnregServer"))
            return UnregisterConverter() ? kExitConverted : kExitFailed;
    }
    if (arguments.size() != 1)
        return kExitUsage;
    if (CRegistryKey::Open(HKEY_CURRENT_USER, kConverterSettingsKey).ReadDword(L"Fail").value_or(0) != 0)
        return kExitInjectedFailure;
    return Convert(arguments[0]);
}
