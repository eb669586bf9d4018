// slidewarp-sample OUTPUT.pptx [TITLE] [PADDING_MB]
// Writes a one-slide presentation to convert, optionally padded to a given weight.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SamplePresentation.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 4) {
        std::fputs("usage: slidewarp-sample OUTPUT.pptx [TITLE] [PADDING_MB]\n", stderr);
        return 2;
    }
    const std::wstring title = argc > 2 ? argv[2] : L"Converted by Slidewarp";
    const long megabytes = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 0;
    if (megabytes < 0 || megabytes > 1024) {
        std::fputs("slidewarp-sample: padding must be 0 to 1024 MB\n", stderr);
        return 2;
    }
    if (!WriteSamplePresentation(argv[1], title, static_cast<std::size_t>(megabytes) * 1024 * 1024)) {
        std::fputs("slidewarp-sample: cannot write the presentation\n", stderr);
        return 1;
    }
    return 0;
}
