// slidewarp: the add-in's side of Slidewarp.dll on the command line.
//   slidewarp convert INPUT.pptx [OUTPUT.ppt]   without OUTPUT the library generates the path
//   slidewarp supported
//   slidewarp version
//   slidewarp delete PATH
// Prints the status code and its meaning; the exit code is the status code (for `version`,
// 0 when the program answered and 1 when it did not).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Slidewarp.h"

namespace {

struct SMeaning {
    int code;
    const char* text;
};

constexpr SMeaning kConversionMeanings[] = {
    {0, "success"},
    {1000, "another conversion holds the conversion lock"},
    {1001, "the output path already exists"},
    {1002, "the presentation program did not come up in time"},
    {1003, "the output buffer is too small; the required size was stored"},
    {2000, "the presentation program cannot be started through automation"},
    {2001, "saving returned a success code other than S_OK"},
    {2002, "conversion not possible or failed"},
    {2003, "copying the input into the temporary directory failed"},
    {2004, "the presentation is protected by a modify password"},
    {2005, "this Windows version is not supported"},
    {2006, "the presentation program did not open the presentation"},
    {3000, "the input cannot be read or is not a presentation package"},
    {3001, "the input is a compound document, not a package"},
};

constexpr SMeaning kDeleteMeanings[] = {
    {0, "file removed"},
    {1, "file removed, but its generated folder could not be"},
    {2, "deleting the file failed"},
    {3, "the file does not exist"},
};

template <std::size_t Count>
const char* MeaningOf(int code, const SMeaning (&meanings)[Count])
{
    for (const SMeaning& meaning : meanings) {
        if (meaning.code == code)
            return meaning.text;
    }
    return "unknown status";
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

template <std::size_t Count>
int Report(int code, const SMeaning (&meanings)[Count])
{
    std::printf("status %d: %s\n", code, MeaningOf(code, meanings));
    return code;
}

// The generated-name protocol: ask for the size, then convert into a buffer of that size.
int ConvertToGeneratedPath(const std::wstring& input)
{
    unsigned int size = 0;
    int status = ConvertPPTXtoPPT(input.c_str(), nullptr, &size);
    if (status != 1003)
        return Report(status, kConversionMeanings);
    std::vector<wchar_t> output(size, L'\0');
    status = ConvertPPTXtoPPT(input.c_str(), output.data(), &size);
    if (status == 0)
        std::printf("output: %s\n", ToUtf8(output.data()).c_str());
    return Report(status, kConversionMeanings);
}

int Convert(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() == 1)
        return ConvertToGeneratedPath(arguments[0]);
    std::vector<wchar_t> output(arguments[1].begin(), arguments[1].end());
    output.push_back(L'\0');
    unsigned int size = static_cast<unsigned int>(output.size());
    const int status = ConvertPPTXtoPPT(arguments[0].c_str(), output.data(), &size);
    if (status == 0)
        std::printf("output: %s\n", ToUtf8(output.data()).c_str());
    return Report(status, kConversionMeanings);
}

int Version()
{
    wchar_t version[64];
    wchar_t build[64];
    if (!GetPowerPointVersion(version, 64, build, 64)) {
        std::printf("the presentation program cannot be asked for its version\n");
        return 1;
    }
    std::printf("version %s, build %s\n", ToUtf8(version).c_str(), ToUtf8(build).c_str());
    return 0;
}

int Usage()
{
    std::fputs("usage: slidewarp convert INPUT.pptx [OUTPUT.ppt]\n"
               "       slidewarp supported\n"
               "       slidewarp version\n"
               "       slidewarp delete PATH\n",
               stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    const std::wstring command = argv[1];
    const std::vector<std::wstring> arguments(argv + 2, argv + argc);
    if (command == L"convert" && (arguments.size() == 1 || arguments.size() == 2))
        return Convert(arguments);
    if (command == L"supported" && arguments.empty())
        return Report(IsPPTXtoPPTSupported(), kConversionMeanings);
    if (command == L"version" && arguments.empty())
        return Version();
    if (command == L"delete" && arguments.size() == 1)
        return Report(DeleteOutputFile(arguments[0].c_str()), kDeleteMeanings);
    return Usage();
}
