#include "ConverterState.h"

#include <utility>

#include "platform/FileSystem.h"

namespace NsConverter {

double DetectedVersion = 0;
std::int32_t DetectedBuild = 0;

OutputFolderGuard::~OutputFolderGuard()
{
    // Moved into the call, not copied: a destructor must not allocate, which could throw.
    if (!keep && !folder.empty())
        NsPlatform::FileSystem::DeleteFolder(std::move(folder), false);
}

} // namespace NsConverter
