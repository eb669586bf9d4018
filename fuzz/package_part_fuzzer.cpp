// The presentation-part reader over damaged packages: any bytes as the zip. Whatever it
// accepts stays within the part size limit; everything else is the sanitizers' business.

#include "FuzzSupport.h"
#include "MemoryZip.h"
#include "PackagePart.h"

using NsFuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NsFuzz::CMemoryZip zip(data, size);
    std::string content;
    if (NsConverter::ReadPackagePart(zip.FileFunctions(), "package.pptx", "PPT/Presentation.XML", content))
        Require(content.size() <= NsConverter::kMaxPackagePartSize, "an accepted part is within the limit");
    return 0;
}
