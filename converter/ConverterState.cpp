#include "ConverterState.h"

#include "platform/FileSystem.h"

namespace NsConverter {

double DetectedVersion = 0;
std::int32_t DetectedBuild = 0;

OutputFolderGuard::~OutputFolderGuard()
{
    if (!keep && !folder.empty())
        NsPlatform::FileSystem::DeleteFolder(folder, false);
}

} // namespace NsConverter
