#include "InputCheck.h"

#include <windows.h>
#include <msxml2.h>
#include <ole2.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "ComSupport.h"
#include "PackagePart.h"

namespace NsConverter {

namespace {

constexpr char kPresentationPart[] = "ppt/presentation.xml";
constexpr wchar_t kModifyVerifier[] = L"p:modifyVerifier";
constexpr wchar_t kErroneousFile[] = L"Errorneous File";
constexpr wchar_t kCouldNotLoadXml[] = L"Could not load XML";

constexpr unsigned char kCompoundDocumentSignature[] = {0xD0, 0xCF};
constexpr unsigned char kZipSignature[] = {'P', 'K'};

// DOM document classes, newest first: MSXML 6.0, 4.0, 3.0, 2.6, version-independent.
constexpr CLSID kDomDocumentClasses[] = {
    {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}},
    {0xF5078F1B, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}},
    {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}},
};
constexpr IID kIidDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A presentation part is a flat list of settings under its root; nothing real nests deeper.
constexpr long kMaxElementDepth = 256;

struct FileCloser {
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using CFile = std::unique_ptr<FILE, FileCloser>;

bool ReadSignature(const std::wstring& path, unsigned char (&signature)[2])
{
    const CFile file(_wfopen(path.c_str(), L"rb"));
    return file && std::fread(signature, 1, sizeof(signature), file.get()) == sizeof(signature);
}

bool HasSignature(const unsigned char (&bytes)[2], const unsigned char (&signature)[2])
{
    return bytes[0] == signature[0] && bytes[1] == signature[1];
}

CComPtr<IXMLDOMDocument2> CreateDomDocument()
{
    for (const CLSID& documentClass : kDomDocumentClasses) {
        CComPtr<IUnknown> unknown;
        if (FAILED(::CoCreateInstance(documentClass, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                          CLSCTX_REMOTE_SERVER,
                                      IID_IUnknown, unknown.ReceiveVoid())) ||
            FAILED(::OleRun(unknown.Get())))
            continue;
        CComPtr<IXMLDOMDocument2> document;
        if (SUCCEEDED(unknown->QueryInterface(kIidDomDocument2, document.ReceiveVoid())))
            return document;
    }
    return CComPtr<IXMLDOMDocument2>();
}

// The input is hostile: nothing may be fetched from elsewhere while parsing (no schemas, no
// external entities), and nesting is bounded. Parsers too old for a setting keep their
// default; results are not examined.
void RestrictParser(IXMLDOMDocument2& document)
{
    document.put_validateOnParse(VARIANT_FALSE);
    document.put_resolveExternals(VARIANT_FALSE);
    VARIANT depth;
    ::VariantInit(&depth);
    V_VT(&depth) = VT_I4;
    V_I4(&depth) = kMaxElementDepth;
    const CBstr property(L"MaxElementDepth");
    document.setProperty(property.Get(), depth);
}

// Package parts never carry a document type declaration (the packaging rules forbid one),
// and a declaration is what entity expansion and external entities need. XML spells it
// exactly this way, so a text without these characters has none.
bool HasDocumentTypeDeclaration(const std::wstring& xml)
{
    return xml.find(L"<!DOCTYPE") != std::wstring::npos;
}

void LoadXml(IXMLDOMDocument2& document, const std::wstring& xml)
{
    const CBstr text(xml);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (HasDocumentTypeDeclaration(xml) || !text.Get() || FAILED(document.loadXML(text.Get(), &loaded)) ||
        loaded != VARIANT_TRUE)
        throw CInputCheckError(kCouldNotLoadXml);
}

bool RootHasChildNamed(IXMLDOMDocument2& document, const std::wstring& name)
{
    CComPtr<IXMLDOMElement> root;
    CComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (FAILED(document.get_documentElement(root.Receive())) || !root ||
        FAILED(root->get_childNodes(children.Receive())) || !children || FAILED(children->get_length(&count)))
        return false;
    for (long index = 0; index < count; ++index) {
        CComPtr<IXMLDOMNode> child;
        if (FAILED(children->get_item(index, child.Receive())) || !child)
            continue;
        CBstr childName;
        if (SUCCEEDED(child->get_nodeName(childName.Receive())) && childName.Text() == name)
            return true;
    }
    return false;
}

} // namespace

CInputCheckError::CInputCheckError(const std::wstring& text) : std::runtime_error(WideToUtf8(text)), m_text(text) {}

bool CheckPresentationFile(const std::wstring& path, bool& isCompoundDocument, bool& hasModifyPassword)
{
    isCompoundDocument = false;
    hasModifyPassword = false;
    unsigned char signature[2];
    if (!ReadSignature(path, signature))
        return false;
    if (signature[0] == kCompoundDocumentSignature[0]) {
        isCompoundDocument = HasSignature(signature, kCompoundDocumentSignature);
        return isCompoundDocument;
    }
    if (!HasSignature(signature, kZipSignature))
        return false;
    std::string part;
    if (!ReadPackagePart(path, kPresentationPart, part))
        throw CInputCheckError(kErroneousFile);
    hasModifyPassword = HasModifyVerifier(Utf8ToWide(part));
    return true;
}

bool ReadPackagePart(const std::wstring& packagePath, const std::string& partName, std::string& content) noexcept
{
    zlib_filefunc_def files;
    fill_fopen_filefunc(&files);
    files.zopen_file = OpenPackageFile;
    const std::string utf8Path = WideToUtf8(packagePath);
    return !utf8Path.empty() && ReadPackagePart(files, utf8Path, partName, content);
}

bool HasModifyVerifier(const std::wstring& xml)
{
    // Declared first, so that every interface is released before COM is uninitialised.
    const CComApartment apartment;
    const CComPtr<IXMLDOMDocument2> document = CreateDomDocument();
    if (!document)
        return false;
    RestrictParser(*document.Get());
    LoadXml(*document.Get(), xml);
    return RootHasChildNamed(*document.Get(), kModifyVerifier);
}

voidpf ZCALLBACK OpenPackageFile(voidpf /*opaque*/, const char* fileName, int mode) noexcept
{
    const wchar_t* wideMode = nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ || (mode & ZLIB_FILEFUNC_MODE_EXISTING))
        wideMode = L"rb";
    else if (mode & ZLIB_FILEFUNC_MODE_CREATE)
        wideMode = L"wb";
    if (!fileName || !wideMode)
        return nullptr;
    const std::wstring wideName = Utf8ToWide(fileName);
    return wideName.empty() ? nullptr : _wfopen(wideName.c_str(), wideMode);
}

std::wstring Utf8ToWide(const std::string& text) noexcept
{
    if (text.empty() || text.size() >= INT_MAX)
        return std::wstring();
    try {
        // UTF-8 never needs fewer bytes than UTF-16 needs units: one unit per byte suffices.
        std::wstring wide(text.size() + 1, L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size() + 1), &wide[0],
                              static_cast<int>(wide.size()));
        wide.resize(std::wcslen(wide.c_str()));
        return wide;
    } catch (...) {
        return std::wstring();
    }
}

std::string WideToUtf8(const std::wstring& text) noexcept
{
    if (text.empty() || text.size() >= INT_MAX / 4)
        return std::string();
    try {
        const int length = static_cast<int>(text.size());
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
        if (size <= 0)
            return std::string();
        std::string utf8(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, &utf8[0], size, nullptr, nullptr);
        return utf8;
    } catch (...) {
        return std::string();
    }
}

} // namespace NsConverter
