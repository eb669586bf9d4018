#include "ZipFixture.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>

namespace {

void PutUint32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

void WriteZip(const std::wstring& path, const std::vector<ZipEntry>& entries)
{
    ASSERT_TRUE(std::all_of(path.begin(), path.end(), [](wchar_t ch) { return ch < 0x80; }))
        << "the zip writer takes narrow paths";
    const std::string narrowPath(path.begin(), path.end());
    const zipFile zip = zipOpen(narrowPath.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& entry : entries) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      entry.stored ? 0 : Z_DEFLATED,
                                      entry.stored ? Z_NO_COMPRESSION : Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, entry.content.data(), static_cast<unsigned>(entry.content.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

void ForgeDeclaredSize(std::string& zip, std::uint32_t size)
{
    const auto local = zip.find("PK\x03\x04");
    const auto central = zip.find("PK\x01\x02");
    ASSERT_NE(local, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    PutUint32(zip, local + 22, size);
    PutUint32(zip, central + 24, size);
}
