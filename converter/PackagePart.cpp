#include "PackagePart.h"

#include <algorithm>

namespace NsConverter {

namespace {

// unzLocateFile's case sensitivity: 2 ignores the case of ASCII letters in every build of
// minizip (0 would leave it to the build, and Unix builds compare exactly).
constexpr int kIgnoreAsciiCase = 2;
constexpr unsigned kReadChunk = 64 * 1024;

class CZipFile {
public:
    explicit CZipFile(unzFile zip) : m_zip(zip) {}
    ~CZipFile()
    {
        if (m_zip)
            unzClose(m_zip);
    }
    CZipFile(const CZipFile&) = delete;
    CZipFile& operator=(const CZipFile&) = delete;
    unzFile Get() const { return m_zip; }

private:
    unzFile m_zip;
};

// The entry opened for reading; closed by Close, which reports a checksum mismatch, or
// else at the end of the scope.
class COpenEntry {
public:
    explicit COpenEntry(unzFile zip) : m_zip(unzOpenCurrentFile(zip) == UNZ_OK ? zip : nullptr) {}
    ~COpenEntry() { Close(); }
    COpenEntry(const COpenEntry&) = delete;
    COpenEntry& operator=(const COpenEntry&) = delete;
    explicit operator bool() const { return m_zip != nullptr; }

    bool Close()
    {
        if (!m_zip)
            return false;
        const int result = unzCloseCurrentFile(m_zip);
        m_zip = nullptr;
        return result == UNZ_OK;
    }

private:
    unzFile m_zip;
};

// Reads the current entry, which declares `size` bytes. The buffer grows with what the
// entry really yields, so a size that lies costs no memory of its own.
bool ReadCurrentEntry(unzFile zip, std::size_t size, std::string& content)
{
    COpenEntry entry(zip);
    if (!entry)
        return false;
    std::string bytes;
    while (bytes.size() < size) {
        const std::size_t already = bytes.size();
        const unsigned wanted = static_cast<unsigned>(std::min<std::size_t>(kReadChunk, size - already));
        bytes.resize(already + wanted);
        const int read = unzReadCurrentFile(zip, &bytes[already], wanted);
        bytes.resize(already + (read > 0 ? static_cast<std::size_t>(read) : 0));
        if (read <= 0)
            break;
    }
    // The checksum is compared once the declared size has been read: a part longer than
    // declared fails here.
    if (bytes.size() != size || !entry.Close())
        return false;
    content = std::move(bytes);
    return true;
}

} // namespace

bool ReadPackagePart(zlib_filefunc_def files, const std::string& packagePath, const std::string& partName,
                     std::string& content) noexcept
{
    try {
        const CZipFile zip(unzOpen2(packagePath.c_str(), &files));
        if (!zip.Get() || unzLocateFile(zip.Get(), partName.c_str(), kIgnoreAsciiCase) != UNZ_OK)
            return false;
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip.Get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        if (info.uncompressed_size > kMaxPackagePartSize)
            return false;
        return ReadCurrentEntry(zip.Get(), static_cast<std::size_t>(info.uncompressed_size), content);
    } catch (...) {
        return false;
    }
}

} // namespace NsConverter
