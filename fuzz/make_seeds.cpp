// Writes the seed corpora of the fuzz targets: one folder per target under the folder given.
// Seeds are small, well-formed or nearly so, and reach the edges each target is about; the
// fuzzer mutates from there.

#include "CommandRecord.h"
#include "SharedBlock.h"

#include <turbojpeg.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using namespace NsChannel;
using Bytes = std::vector<uint8_t>;

namespace {

void WriteSeed(const fs::path& folder, const std::string& name, const Bytes& bytes)
{
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Inputs read through FuzzedDataProvider: bytes from the front, numbers and flags from the
// back, the first one taken being the last byte.
class CProviderInput {
public:
    CProviderInput& Bytes(const ::Bytes& bytes)
    {
        m_front.insert(m_front.end(), bytes.begin(), bytes.end());
        return *this;
    }
    CProviderInput& Units(const std::u16string& text)
    {
        for (char16_t unit : text) {
            m_front.push_back(static_cast<uint8_t>(unit));
            m_front.push_back(static_cast<uint8_t>(unit >> 8));
        }
        return *this;
    }
    CProviderInput& Flag(bool value)
    {
        m_back.push_back(value ? 1 : 0);
        return *this;
    }
    // A number read with ConsumeIntegralInRange over a range of byteCount bytes.
    CProviderInput& Number(uint64_t value, int byteCount)
    {
        for (int i = byteCount - 1; i >= 0; --i)
            m_back.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    ::Bytes Build() const
    {
        ::Bytes all = m_front;
        all.insert(all.end(), m_back.rbegin(), m_back.rend());
        return all;
    }

private:
    ::Bytes m_front;
    ::Bytes m_back;
};

Bytes Encoded(const Command& command)
{
    CommandRecord record{};
    EncodeCommand(command, record);
    return Bytes(record.begin(), record.end());
}

void CommandSeeds(const fs::path& folder)
{
    for (int32_t code = 0; code < kCommandCodeCount; ++code) {
        Command command;
        command.code = static_cast<CommandCode>(code);
        command.x = 799;
        command.y = -1;
        command.deltaX = 120;
        command.deltaY = -120;
        command.modifiers = 0x0E;
        command.leftButton = command.buttonDown = command.keyDown = command.answer = true;
        command.keyCode = 123;
        command.width = 1920;
        command.height = 1080;
        command.text = code == CMD_FILE_DIALOG_REPLY ? u"|C:\\a.txt||C:\\b c.txt|" : u"https://example.test/";
        WriteSeed(folder, "code" + std::to_string(code), Encoded(command));
    }
    // Texts that fill their field, and one whose terminator is missing.
    Command longest;
    longest.code = CMD_LOAD_URL;
    longest.text.assign(2049, u'u');
    WriteSeed(folder, "longest-url", Encoded(longest));
    Bytes unterminated = Encoded(longest);
    std::fill(unterminated.end() - 2, unterminated.end(), 'u');
    WriteSeed(folder, "unterminated-url", unterminated);
    Command paths;
    paths.code = CMD_FILE_DIALOG_REPLY;
    paths.answer = true;
    paths.text.assign(2048, u'|');
    WriteSeed(folder, "only-separators", Encoded(paths));
    Bytes unknown(kCommandRecordSize, 0xFF);
    WriteSeed(folder, "code-minus-one", unknown);
    WriteSeed(folder, "short", Bytes(10, 0));
}

void ReplySeeds(const fs::path& folder)
{
    WriteSeed(folder, "flag", CProviderInput().Number(0, 1).Flag(true).Flag(true).Build());
    std::u16string url = u"https://example.test/?q=";
    url.resize(2100, u'q');
    WriteSeed(folder, "long-url", CProviderInput().Units(url).Number(1, 1).Build());
    WriteSeed(folder, "url-with-nul", CProviderInput().Units(std::u16string(u"ab\0cd", 5)).Number(1, 1).Build());
    const ReplyRecord record = EncodeUrlReply(u"https://example.test/");
    WriteSeed(folder, "raw-record", CProviderInput().Bytes(Bytes(record.begin(), record.end())).Number(2, 1).Build());
}

// Event texts are read as a length (two bytes for its range) and that many code units.
CProviderInput& AppendText(CProviderInput& input, const std::u16string& text)
{
    return input.Number(text.size(), 2).Units(text);
}

void SharedBlockSeeds(const fs::path& folder)
{
    {
        CProviderInput input;
        input.Flag(true).Flag(false);
        AppendText(input, u"loadStart:");
        AppendText(input, u"address:https://example.test/");
        AppendText(input, u"");
        WriteSeed(folder, "texts", input.Build());
    }
    {
        // A pair that straddles the end of the area.
        CProviderInput input;
        input.Flag(true).Flag(false);
        AppendText(input, std::u16string(kEventAreaUnits - 2, u'a') + u"\U0001F600tail");
        AppendText(input, u"more");
        WriteSeed(folder, "surrogate-at-the-end", input.Build());
    }
    {
        CProviderInput input;
        input.Flag(true).Flag(false);
        AppendText(input, std::u16string(3000, u'x'));
        WriteSeed(folder, "longer-than-the-area", input.Build());
    }
    {
        // An area left with old text behind its terminator, and one that is full.
        Bytes stale(kEventAreaSize, 'z');
        stale[0] = stale[1] = 0;
        CProviderInput input;
        input.Flag(true).Flag(true).Bytes(stale);
        AppendText(input, u"new");
        WriteSeed(folder, "stale-area", input.Build());
        CProviderInput full;
        full.Flag(true).Flag(true).Bytes(Bytes(kEventAreaSize, 'z'));
        AppendText(full, u"lost");
        WriteSeed(folder, "full-area", full.Build());
    }
    {
        const uint8_t header[8] = {0x80, 0x07, 0, 0, 0x38, 0x04, 0, 0}; // 1920 x 1080
        CProviderInput frame;
        frame.Flag(false).Number(kFrameHeaderSize + kPixelCapacity, sizeof(size_t)).Bytes(Bytes(header, header + 8));
        WriteSeed(folder, "frame-header", frame.Build());
    }
}

// Package seeds start from real zips written by minizip and are then damaged in place.
bool WriteZip(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& parts, int method,
              bool zip64)
{
    zipFile zip = zipOpen64(path.string().c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        return false;
    bool ok = true;
    for (const auto& [name, content] : parts) {
        zip_fileinfo info{};
        ok = ok &&
             zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                   method == 0 ? 0 : 9, zip64 ? 1 : 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

size_t Find(const Bytes& bytes, uint32_t signature, size_t from = 0)
{
    for (size_t at = from; at + 4 <= bytes.size(); ++at) {
        if (bytes[at] == static_cast<uint8_t>(signature) && bytes[at + 1] == static_cast<uint8_t>(signature >> 8) &&
            bytes[at + 2] == static_cast<uint8_t>(signature >> 16) &&
            bytes[at + 3] == static_cast<uint8_t>(signature >> 24))
            return at;
    }
    return bytes.size();
}

Bytes Patched(Bytes bytes, size_t at, uint32_t value)
{
    if (at + 4 <= bytes.size())
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kEndOfCentral = 0x06054b50;

void PackageSeeds(const fs::path& folder)
{
    const std::string presentation =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
        "<p:modifyVerifier p:cryptProviderType=\"rsaFull\" p:spinCount=\"100000\"/></p:presentation>";
    const std::vector<std::pair<std::string, std::string>> parts{{"[Content_Types].xml", "<Types/>"},
                                                                 {"ppt/presentation.xml", presentation}};

    const fs::path stored = folder / "stored";
    const fs::path deflated = folder / "deflated";
    const fs::path zip64 = folder / "zip64";
    if (!WriteZip(stored, parts, 0, false) || !WriteZip(deflated, parts, Z_DEFLATED, false) ||
        !WriteZip(zip64, parts, Z_DEFLATED, true) ||
        !WriteZip(folder / "beyond-the-limit", {{"ppt/presentation.xml", std::string(4 * 1024 * 1024 + 1, 'a')}},
                  Z_DEFLATED, false) ||
        !WriteZip(folder / "other-case", {{"PPT/Presentation.XML", presentation}}, Z_DEFLATED, false)) {
        std::fprintf(stderr, "make_seeds: cannot write the zip seeds\n");
        std::exit(1);
    }

    for (const auto& [name, path] :
         {std::pair{std::string("stored"), stored}, std::pair{std::string("deflated"), deflated}}) {
        const Bytes zip = ReadFile(path);
        // The presentation is the second entry in both directories.
        const size_t local = Find(zip, kLocalHeader, Find(zip, kLocalHeader) + 4);
        const size_t central = Find(zip, kCentralHeader, Find(zip, kCentralHeader) + 4);
        const size_t end = Find(zip, kEndOfCentral);
        WriteSeed(folder, name + "-huge-size", Patched(zip, central + 24, 0xFFFFFFFF));
        WriteSeed(folder, name + "-size-at-limit", Patched(zip, central + 24, 4 * 1024 * 1024));
        WriteSeed(folder, name + "-size-too-small", Patched(zip, central + 24, 10));
        WriteSeed(folder, name + "-size-zero", Patched(zip, central + 24, 0));
        WriteSeed(folder, name + "-compressed-size-huge", Patched(zip, central + 20, 0x7FFFFFFF));
        WriteSeed(folder, name + "-local-sizes-differ", Patched(Patched(zip, local + 18, 3), local + 22, 3));
        WriteSeed(folder, name + "-bad-checksum", Patched(zip, central + 16, 0xDEADBEEF));
        WriteSeed(folder, name + "-directory-elsewhere", Patched(zip, end + 16, 0x7FFFFFF0));
        WriteSeed(folder, name + "-many-entries", Patched(Patched(zip, end + 8, 0xFFFF), end + 10, 0xFFFF));
        WriteSeed(folder, name + "-name-too-long", Patched(zip, central + 28, 0xFFFF));
        WriteSeed(folder, name + "-truncated",
                  Bytes(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(zip.size() * 2 / 3)));
    }
    WriteSeed(folder, "empty", Bytes{});
}

} // namespace

// A small gradient as JPEG, compressed the ways a frame might come.
Bytes GradientJpeg(int width, int height, int subsampling, int flags)
{
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<uint8_t>(i * 7 % 251);
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    Bytes bytes;
    if (tjCompress2(compressor, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, subsampling, 80, flags) == 0)
        bytes.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(compressor);
    return bytes;
}

void JpegFrameSeeds(const fs::path& folder)
{
    const Bytes plain = GradientJpeg(24, 16, TJSAMP_420, 0);
    // The view's size: equal to the frame's, larger, smaller.
    for (const auto& [name, width, height] :
         {std::tuple{"exact", 24, 16}, std::tuple{"larger-view", 40, 30}, std::tuple{"smaller-view", 16, 16}}) {
        WriteSeed(folder, std::string("jpeg-") + name,
                  CProviderInput().Bytes(plain).Flag(false).Number(width - 1, 2).Number(height - 1, 2).Build());
    }
    WriteSeed(
        folder, "jpeg-444",
        CProviderInput().Bytes(GradientJpeg(24, 16, TJSAMP_444, 0)).Flag(false).Number(23, 2).Number(15, 2).Build());
    WriteSeed(
        folder, "jpeg-gray",
        CProviderInput().Bytes(GradientJpeg(24, 16, TJSAMP_GRAY, 0)).Flag(false).Number(23, 2).Number(15, 2).Build());
    WriteSeed(folder, "jpeg-progressive",
              CProviderInput()
                  .Bytes(GradientJpeg(24, 16, TJSAMP_420, TJFLAG_PROGRESSIVE))
                  .Flag(false)
                  .Number(23, 2)
                  .Number(15, 2)
                  .Build());
    const std::string text = "/9j/4AAQSkZJRgABAQ==";
    WriteSeed(folder, "base64", CProviderInput().Bytes(Bytes(text.begin(), text.end())).Flag(true).Build());
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    const std::vector<std::pair<const char*, void (*)(const fs::path&)>> targets{{"command_record", CommandSeeds},
                                                                                 {"reply_record", ReplySeeds},
                                                                                 {"shared_block", SharedBlockSeeds},
                                                                                 {"package_part", PackageSeeds},
                                                                                 {"jpeg_frame", JpegFrameSeeds}};
    for (const auto& [name, make] : targets) {
        fs::remove_all(root / name);
        fs::create_directories(root / name);
        make(root / name);
    }
    return 0;
}
