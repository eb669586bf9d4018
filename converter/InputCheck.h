#pragma once

#include <stdexcept>
#include <string>

#include <unzip.h>

namespace NsConverter {

// A package that cannot be checked: its presentation part cannot be read, or is not XML.
class CInputCheckError : public std::runtime_error {
public:
    explicit CInputCheckError(const std::wstring& text);
    const std::wstring& Text() const noexcept { return m_text; }

private:
    std::wstring m_text;
};

// Classifies the file by its first two bytes. True for a compound document (D0 CF, sets
// isCompoundDocument) and for a zip package whose presentation part was parsed (sets
// hasModifyPassword when the part carries a modify verifier); false for anything else.
// Throws CInputCheckError for a package whose part is missing, unreadable or not XML.
bool CheckPresentationFile(const std::wstring& path, bool& isCompoundDocument, bool& hasModifyPassword);

// ReadPackagePart over the file at a wide path.
bool ReadPackagePart(const std::wstring& packagePath, const std::string& partName, std::string& content) noexcept;

// Whether the presentation part's root element has a direct child named exactly
// "p:modifyVerifier". False when no XML parser can be created. Throws CInputCheckError
// when the text is not accepted as XML.
bool HasModifyVerifier(const std::wstring& xml);

// minizip's open function: the UTF-8 name is opened with the wide C runtime call.
voidpf ZCALLBACK OpenPackageFile(voidpf opaque, const char* fileName, int mode) noexcept;

// Conversions through CP_UTF8; empty on failure. Utf8ToWide stops at the first NUL.
std::wstring Utf8ToWide(const std::string& text) noexcept;
std::string WideToUtf8(const std::wstring& text) noexcept;

} // namespace NsConverter
