#include "SamplePresentation.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include <zip.h>

namespace {

constexpr char kNamespaces[] = "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
                               "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr char kRelationshipType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr char kEmptyShapeTree[] = "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
                                   "<p:grpSpPr/>";

struct SPart {
    std::string name;
    std::string content;
};

std::string Relationships(const std::vector<std::pair<std::string, std::string>>& targets)
{
    std::string xml = std::string(kDeclaration) +
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int id = 1;
    for (const auto& target : targets)
        xml += "<Relationship Id=\"rId" + std::to_string(id++) + "\" Type=\"" + kRelationshipType + target.first +
               "\" Target=\"" + target.second + "\"/>";
    return xml + "</Relationships>";
}

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char ch : text) {
        switch (ch) {
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '&': escaped += "&amp;"; break;
        default: escaped += ch;
        }
    }
    return escaped;
}

std::string ContentTypes()
{
    const std::string main = "application/vnd.openxmlformats-officedocument.";
    return std::string(kDeclaration) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Default Extension=\"bin\" ContentType=\"application/octet-stream\"/>"
           "<Override PartName=\"/ppt/presentation.xml\" ContentType=\"" +
           main +
           "presentationml.presentation.main+xml\"/>"
           "<Override PartName=\"/ppt/slideMasters/slideMaster1.xml\" ContentType=\"" +
           main +
           "presentationml.slideMaster+xml\"/>"
           "<Override PartName=\"/ppt/slideLayouts/slideLayout1.xml\" ContentType=\"" +
           main +
           "presentationml.slideLayout+xml\"/>"
           "<Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"" +
           main +
           "presentationml.slide+xml\"/>"
           "<Override PartName=\"/ppt/theme/theme1.xml\" ContentType=\"" +
           main +
           "theme+xml\"/>"
           "</Types>";
}

std::string Presentation()
{
    return std::string(kDeclaration) + "<p:presentation " + kNamespaces + ">" +
           "<p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/></p:sldMasterIdLst>"
           "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst>"
           "<p:sldSz cx=\"9144000\" cy=\"6858000\" type=\"screen4x3\"/><p:notesSz cx=\"6858000\" cy=\"9144000\"/>"
           "</p:presentation>";
}

std::string SlideMaster()
{
    return std::string(kDeclaration) + "<p:sldMaster " + kNamespaces + "><p:cSld><p:spTree>" + kEmptyShapeTree +
           "</p:spTree></p:cSld>"
           "<p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" accent2=\"accent2\" "
           "accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" hlink=\"hlink\" "
           "folHlink=\"folHlink\"/>"
           "<p:sldLayoutIdLst><p:sldLayoutId id=\"2147483649\" r:id=\"rId1\"/></p:sldLayoutIdLst></p:sldMaster>";
}

std::string SlideLayout()
{
    return std::string(kDeclaration) + "<p:sldLayout " + kNamespaces + " type=\"blank\"><p:cSld name=\"Blank\">" +
           "<p:spTree>" + kEmptyShapeTree + "</p:spTree></p:cSld>" +
           "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>";
}

std::string Slide(const std::string& title)
{
    return std::string(kDeclaration) + "<p:sld " + kNamespaces + "><p:cSld><p:spTree>" + kEmptyShapeTree +
           "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title\"/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr>"
           "<p:spPr><a:xfrm><a:off x=\"457200\" y=\"2743200\"/><a:ext cx=\"8229600\" cy=\"1371600\"/></a:xfrm>"
           "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr>"
           "<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang=\"en-US\" sz=\"4000\"/><a:t>" +
           Escaped(title) +
           "</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld>"
           "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>";
}

std::string Repeated(const std::string& element, int times)
{
    std::string list;
    for (int i = 0; i < times; ++i)
        list += element;
    return list;
}

std::string Theme()
{
    const auto color = [](const char* name, const char* rgb) {
        return std::string("<a:") + name + "><a:srgbClr val=\"" + rgb + "\"/></a:" + name + ">";
    };
    const std::string fonts = "<a:latin typeface=\"Arial\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/>";
    const std::string fill = "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";
    return std::string(kDeclaration) +
           "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"Sample\">"
           "<a:themeElements><a:clrScheme name=\"Sample\">" +
           color("dk1", "000000") + color("lt1", "FFFFFF") + color("dk2", "1F497D") + color("lt2", "EEECE1") +
           color("accent1", "4F81BD") + color("accent2", "C0504D") + color("accent3", "9BBB59") +
           color("accent4", "8064A2") + color("accent5", "4BACC6") + color("accent6", "F79646") +
           color("hlink", "0000FF") + color("folHlink", "800080") + "</a:clrScheme>" +
           "<a:fontScheme name=\"Sample\"><a:majorFont>" + fonts + "</a:majorFont><a:minorFont>" + fonts +
           "</a:minorFont></a:fontScheme><a:fmtScheme name=\"Sample\">" + "<a:fillStyleLst>" + Repeated(fill, 3) +
           "</a:fillStyleLst>" + "<a:lnStyleLst>" + Repeated("<a:ln w=\"9525\">" + fill + "</a:ln>", 3) +
           "</a:lnStyleLst>" + "<a:effectStyleLst>" + Repeated("<a:effectStyle><a:effectLst/></a:effectStyle>", 3) +
           "</a:effectStyleLst><a:bgFillStyleLst>" + Repeated(fill, 3) + "</a:bgFillStyleLst>" +
           "</a:fmtScheme></a:themeElements></a:theme>";
}

// Varied bytes, so that nothing along the way can shrink the padding.
std::string Padding(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t state = 0x9E3779B9u;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<SPart> Parts(const std::string& title, std::size_t paddingBytes)
{
    std::vector<SPart> parts = {
        {"[Content_Types].xml", ContentTypes()},
        {"_rels/.rels", Relationships({{"officeDocument", "ppt/presentation.xml"}})},
        {"ppt/presentation.xml", Presentation()},
        {"ppt/_rels/presentation.xml.rels", Relationships({{"slideMaster", "slideMasters/slideMaster1.xml"},
                                                           {"slide", "slides/slide1.xml"},
                                                           {"theme", "theme/theme1.xml"}})},
        {"ppt/slideMasters/slideMaster1.xml", SlideMaster()},
        {"ppt/slideMasters/_rels/slideMaster1.xml.rels",
         Relationships({{"slideLayout", "../slideLayouts/slideLayout1.xml"}, {"theme", "../theme/theme1.xml"}})},
        {"ppt/slideLayouts/slideLayout1.xml", SlideLayout()},
        {"ppt/slideLayouts/_rels/slideLayout1.xml.rels",
         Relationships({{"slideMaster", "../slideMasters/slideMaster1.xml"}})},
        {"ppt/slides/slide1.xml", Slide(title)},
        {"ppt/slides/_rels/slide1.xml.rels", Relationships({{"slideLayout", "../slideLayouts/slideLayout1.xml"}})},
        {"ppt/theme/theme1.xml", Theme()},
    };
    if (paddingBytes > 0)
        parts.push_back({"ppt/media/padding.bin", Padding(paddingBytes)});
    return parts;
}

// minizip hands file names through as UTF-8; this opens them as wide names.
voidpf ZCALLBACK OpenForWriting(voidpf, const char* utf8Name, int)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Name, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::wstring name(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8Name, -1, &name[0], length);
    return _wfopen(name.c_str(), L"wb");
}

std::string ToUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
}

bool WritePart(zipFile zip, const SPart& part)
{
    // Large padding is stored as it is: compressing random bytes only costs time.
    const bool store = part.content.size() > 64 * 1024;
    zip_fileinfo info{};
    // A fixed, valid date: the same title gives the same file.
    info.tmz_date.tm_mday = 1;
    info.tmz_date.tm_year = 2024;
    if (zipOpenNewFileInZip64(zip, part.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, store ? 0 : Z_DEFLATED,
                              store ? Z_NO_COMPRESSION : Z_DEFAULT_COMPRESSION, 0) != ZIP_OK)
        return false;
    const bool written =
        zipWriteInFileInZip(zip, part.content.data(), static_cast<unsigned>(part.content.size())) == ZIP_OK;
    return zipCloseFileInZip(zip) == ZIP_OK && written;
}

} // namespace

bool WriteSamplePresentation(const std::wstring& path, const std::wstring& title, std::size_t paddingBytes)
{
    zlib_filefunc_def files;
    fill_fopen_filefunc(&files);
    files.zopen_file = OpenForWriting;
    const zipFile zip = zipOpen2(ToUtf8(path).c_str(), APPEND_STATUS_CREATE, nullptr, &files);
    if (!zip)
        return false;
    bool written = true;
    for (const SPart& part : Parts(ToUtf8(title), paddingBytes))
        written = written && WritePart(zip, part);
    return zipClose(zip, nullptr) == ZIP_OK && written;
}
