#include <gtest/gtest.h>

#include "InputCheck.h"
#include "PackagePart.h"
#include "TestFolder.h"
#include "ZipFixture.h"
#include "platform/FileSystem.h"

using namespace NsConverter;

namespace {

const std::string kNamespaces = R"(xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" )"
                                R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" )"
                                R"(xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main")";

const std::string kVerifier =
    R"(<p:modifyVerifier cryptProviderType="rsaAES" cryptAlgorithmClass="hash" cryptAlgorithmType="typeAny" )"
    R"(cryptAlgorithmSid="14" spinCount="100000" saltData="c2FsdA==" hashData="aGFzaA=="/>)";

std::string Presentation(const std::string& children)
{
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "<p:presentation " +
           kNamespaces + ">" + children +
           R"(<p:sldIdLst><p:sldId id="256" r:id="rId2"/></p:sldIdLst><p:sldSz cx="9144000" cy="6858000"/>)"
           "</p:presentation>";
}

struct CheckResult {
    bool classified = false;
    bool isCompoundDocument = false;
    bool hasModifyPassword = false;
    std::wstring error; // the text of an input-check error, if one was raised
};

CheckResult Check(const std::wstring& path)
{
    CheckResult result;
    try {
        result.classified = CheckPresentationFile(path, result.isCompoundDocument, result.hasModifyPassword);
    } catch (const CInputCheckError& error) {
        result.error = error.Text();
    }
    return result;
}

class InputCheck : public testing::Test {
protected:
    std::wstring Package(const std::vector<ZipEntry>& entries, const std::wstring& name = L"deck.pptx")
    {
        const auto path = m_folder.Path(name);
        WriteZip(path, entries);
        return path;
    }
    std::wstring PackageWithPresentation(const std::string& xml)
    {
        return Package({{"[Content_Types].xml", "<Types/>"}, {"ppt/presentation.xml", xml}});
    }
    std::wstring File(const std::string& bytes)
    {
        const auto path = m_folder.Path(L"input.bin");
        WriteBytes(path, bytes);
        return path;
    }

    CTestFolder m_folder;
};

} // namespace

TEST_F(InputCheck, SignatureDecidesWhatTheFileIs)
{
    EXPECT_FALSE(Check(m_folder.Path(L"missing.pptx")).classified);
    EXPECT_FALSE(Check(File("")).classified);
    EXPECT_FALSE(Check(File("P")).classified);
    EXPECT_FALSE(Check(File("\xD0")).classified);
    EXPECT_FALSE(Check(File("\xD0\x00 not a compound document")).classified);
    EXPECT_FALSE(Check(File("MZ\x90")).classified);
    EXPECT_FALSE(Check(File("\x1A"
                            "PK"))
                     .classified);

    // Nothing behind the compound-document signature is read.
    const auto compound = Check(File("\xD0\xCF this is not read"));
    EXPECT_TRUE(compound.classified);
    EXPECT_TRUE(compound.isCompoundDocument);
    EXPECT_FALSE(compound.hasModifyPassword);

    const auto package = Check(PackageWithPresentation(Presentation("")));
    EXPECT_TRUE(package.classified);
    EXPECT_FALSE(package.isCompoundDocument);
    EXPECT_FALSE(package.hasModifyPassword);
    EXPECT_EQ(package.error, L"");
}

TEST_F(InputCheck, FlagsLeftOverFromAnotherFileAreCleared)
{
    bool isCompoundDocument = true;
    bool hasModifyPassword = true;
    EXPECT_TRUE(
        CheckPresentationFile(PackageWithPresentation(Presentation("")), isCompoundDocument, hasModifyPassword));
    EXPECT_FALSE(isCompoundDocument);
    EXPECT_FALSE(hasModifyPassword);
}

TEST_F(InputCheck, PartIsFoundWithoutRegardToAsciiCase)
{
    const auto path = Package({{"PPT/Presentation.XML", Presentation(kVerifier)}});
    const auto result = Check(path);
    EXPECT_TRUE(result.classified);
    EXPECT_TRUE(result.hasModifyPassword);
}

TEST_F(InputCheck, ModifyVerifierCountsOnlyAsADirectChildWithPrefixP)
{
    EXPECT_TRUE(Check(PackageWithPresentation(Presentation(kVerifier))).hasModifyPassword);

    const std::string deeper =
        "<p:extLst><p:ext uri=\"{00000000-0000-0000-0000-000000000000}\">" + kVerifier + "</p:ext></p:extLst>";
    const auto nested = Check(PackageWithPresentation(Presentation(deeper)));
    EXPECT_TRUE(nested.classified);
    EXPECT_FALSE(nested.hasModifyPassword);

    const std::string otherPrefix =
        R"(<q:modifyVerifier xmlns:q="http://schemas.openxmlformats.org/presentationml/2006/main"/>)";
    const auto prefixed = Check(PackageWithPresentation(Presentation(otherPrefix)));
    EXPECT_TRUE(prefixed.classified);
    EXPECT_FALSE(prefixed.hasModifyPassword);
}

TEST_F(InputCheck, PackageWithoutAReadablePartIsErroneous)
{
    EXPECT_EQ(Check(Package({{"ppt/slides/slide1.xml", "<p:sld/>"}})).error, L"Errorneous File");
    EXPECT_EQ(Check(File("PK\x03\x04 then nothing that a zip needs")).error, L"Errorneous File");

    std::string zip = ReadBytes(PackageWithPresentation(Presentation("")));
    WriteBytes(m_folder.Path(L"truncated.pptx"), zip.substr(0, zip.size() / 2));
    EXPECT_EQ(Check(m_folder.Path(L"truncated.pptx")).error, L"Errorneous File");

    // Damage inside the compressed data of the part.
    const auto data = zip.find("PK\x03\x04") + 30 + std::string("ppt/presentation.xml").size() + 4;
    for (std::size_t i = data; i < data + 16; ++i)
        zip[i] = static_cast<char>(~zip[i]);
    WriteBytes(m_folder.Path(L"damaged.pptx"), zip);
    EXPECT_EQ(Check(m_folder.Path(L"damaged.pptx")).error, L"Errorneous File");
}

TEST_F(InputCheck, XmlThatIsNotWellFormedCannotBeLoaded)
{
    EXPECT_EQ(Check(PackageWithPresentation("<p:presentation><p:sldIdLst></p:presentation>")).error,
              L"Could not load XML");
    EXPECT_EQ(Check(PackageWithPresentation("")).error, L"Could not load XML");
}

TEST_F(InputCheck, HostileXmlIsRefusedWithoutExhaustingAnything)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<p:x>";
    EXPECT_EQ(Check(PackageWithPresentation(Presentation(deep))).error, L"Could not load XML");

    const std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE p:presentation [)"
                               R"(<!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">)"
                               R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">)"
                               R"(<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">)"
                               R"(<!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">)"
                               R"(<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">)"
                               R"(<!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;">)"
                               R"(]><p:presentation )" +
                               kNamespaces + ">&f;</p:presentation>";
    EXPECT_EQ(Check(PackageWithPresentation(laughs)).error, L"Could not load XML");

    // Package parts carry no document type declarations; not even a harmless one is parsed.
    const std::string declared =
        R"(<?xml version="1.0"?><!DOCTYPE p:presentation [<!ENTITY name "value">]>)" + Presentation("");
    EXPECT_EQ(Check(PackageWithPresentation(declared)).error, L"Could not load XML");
}

TEST_F(InputCheck, PathOutsideTheAnsiCodePageIsOpened)
{
    const auto ascii = PackageWithPresentation(Presentation(kVerifier));
    const auto unicode = m_folder.Path(L"\u30D7\u30EC\u30BC\u30F3 \u0394\u03B9\u03AC \U0001F4CA.pptx");
    ASSERT_TRUE(NsPlatform::FileSystem::MoveFileW(ascii, unicode));
    const auto result = Check(unicode);
    EXPECT_TRUE(result.classified);
    EXPECT_TRUE(result.hasModifyPassword);
}

TEST_F(InputCheck, DeclaredSizesThatLieMakeThePartUnreadable)
{
    const std::string part(1000, 'x');
    const auto original = ReadBytes(Package({{"ppt/presentation.xml", part, true}}, L"stored.pptx"));
    std::string content;
    ASSERT_TRUE(ReadPackagePart(m_folder.Path(L"stored.pptx"), "ppt/presentation.xml", content));
    EXPECT_EQ(content, part);

    for (const std::uint32_t declared : {0xFFFFFFFFu, 0xFFFFFFFEu, 2000u, 999u, 0u}) {
        std::string forged = original;
        ForgeDeclaredSize(forged, declared);
        WriteBytes(m_folder.Path(L"forged.pptx"), forged);
        EXPECT_FALSE(ReadPackagePart(m_folder.Path(L"forged.pptx"), "ppt/presentation.xml", content)) << declared;
        EXPECT_EQ(Check(m_folder.Path(L"forged.pptx")).error, L"Errorneous File") << declared;
    }
}

TEST_F(InputCheck, PartsAboveTheSizeLimitAreRefused)
{
    std::string content;
    const std::string atLimit(static_cast<std::size_t>(kMaxPackagePartSize), ' ');
    ReadPackagePart(Package({{"ppt/presentation.xml", atLimit}}, L"limit.pptx"), "ppt/presentation.xml", content);
    EXPECT_EQ(content.size(), atLimit.size());

    const auto over = Package({{"ppt/presentation.xml", atLimit + " "}}, L"over.pptx");
    EXPECT_FALSE(ReadPackagePart(over, "ppt/presentation.xml", content));
    EXPECT_EQ(Check(over).error, L"Errorneous File");
}

TEST(TextConversion, Utf8AndUtf16RoundTrip)
{
    const std::wstring text = L"Pr\u00E4sentation \u2211 \U0001F600";
    EXPECT_EQ(WideToUtf8(text), "Pr\xC3\xA4sentation \xE2\x88\x91 \xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), L"ab");
    // Malformed sequences are replaced, never read past.
    EXPECT_FALSE(Utf8ToWide("\xC3").empty());
    EXPECT_EQ(Utf8ToWide("a\xF0\x9F"), L"a\uFFFD");
}
