// The driver's script language and picture encoder.

#include "DriveScript.h"
#include "PngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

using NsChannel::Command;

namespace {

std::vector<DriveStep> Parse(const std::wstring& line)
{
    std::vector<DriveStep> steps;
    std::wstring error;
    EXPECT_TRUE(ParseStep(line, steps, error)) << line << ": " << std::string(error.begin(), error.end());
    return steps;
}

bool Rejects(const std::wstring& line)
{
    std::vector<DriveStep> steps;
    std::wstring error;
    return !ParseStep(line, steps, error) && !error.empty() && steps.empty();
}

TEST(DriveScript, AClickIsADownAndAnUpAtThePoint)
{
    const auto steps = Parse(L"click 10 20 right 4");
    ASSERT_EQ(steps.size(), 1u);
    ASSERT_EQ(steps[0].commands.size(), 2u);
    const Command& down = steps[0].commands[0];
    const Command& up = steps[0].commands[1];
    EXPECT_EQ(down.code, NsChannel::CMD_MOUSE_CLICK);
    EXPECT_EQ(down.x, 10);
    EXPECT_EQ(down.y, 20);
    EXPECT_FALSE(down.leftButton);
    EXPECT_TRUE(down.buttonDown);
    EXPECT_EQ(down.modifiers, 4);
    EXPECT_FALSE(up.buttonDown);
    EXPECT_TRUE(Parse(L"down 1 2")[0].commands[0].leftButton);
    EXPECT_EQ(Parse(L"up 1 2")[0].commands.size(), 1u);
}

TEST(DriveScript, KeysAndTextBecomeKeyCommands)
{
    const auto press = Parse(L"key 0x0D")[0].commands;
    ASSERT_EQ(press.size(), 2u);
    EXPECT_EQ(press[0].keyCode, 13);
    EXPECT_TRUE(press[0].keyDown);
    EXPECT_TRUE(press[1].keyUp);
    const auto sys = Parse(L"key 18 down sys")[0].commands;
    ASSERT_EQ(sys.size(), 1u);
    EXPECT_TRUE(sys[0].systemKey);
    const auto typed = Parse(L"type h\u00e9")[0].commands;
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[1].keyCode, 0xE9);
    EXPECT_FALSE(typed[1].keyDown || typed[1].keyUp);
}

TEST(DriveScript, TextStepsKeepTheirSpaces)
{
    EXPECT_EQ(Parse(L"script  document.title = 'a b';")[0].commands[0].text, u"document.title = 'a b';");
    EXPECT_EQ(Parse(L"load about:blank")[0].commands[0].code, NsChannel::CMD_LOAD_URL);
    const Command files = Parse(L"files ok C:\\a b.png|D:\\c.jpg")[0].commands[0];
    EXPECT_TRUE(files.answer);
    EXPECT_EQ(files.text, u"C:\\a b.png|D:\\c.jpg");
    const Command refused = Parse(L"dialog cancel")[0].commands[0];
    EXPECT_EQ(refused.code, NsChannel::CMD_JS_DIALOG_REPLY);
    EXPECT_FALSE(refused.answer);
    EXPECT_EQ(Parse(L"dialog ok")[0].commands[0].text, u"");
}

TEST(DriveScript, QueriesWaitsAndSettingsCarryTheirArguments)
{
    const auto url = Parse(L"url about:*");
    EXPECT_EQ(url[0].kind, StepKind::Query);
    EXPECT_EQ(url[0].pattern, L"about:*");
    EXPECT_EQ(Parse(L"can-go-back false")[0].pattern, L"false");
    EXPECT_EQ(Parse(L"wait loadEnd:*")[0].pattern, L"loadEnd:*");
    EXPECT_EQ(Parse(L"timeout 250")[0].timeoutMs, 250u);
    const auto sized = Parse(L"frame 900 640");
    EXPECT_EQ(sized[0].kind, StepKind::WaitFrame);
    EXPECT_EQ(sized[0].width, 900);
    EXPECT_EQ(sized[0].height, 640);
    const auto page = Parse(L"page dialog confirm Keep%20it?");
    EXPECT_EQ(page[0].kind, StepKind::Page);
    EXPECT_EQ(page[0].pattern, L"dialog confirm Keep%20it?");
    EXPECT_EQ(Parse(L"close")[0].kind, StepKind::Close);
    EXPECT_TRUE(Parse(L"   # a comment").empty());
    EXPECT_TRUE(Parse(L"").empty());
}

TEST(DriveScript, MalformedStepsAreRefusedWithAReason)
{
    EXPECT_TRUE(Rejects(L"jump 1 2"));
    EXPECT_TRUE(Rejects(L"click 1"));
    EXPECT_TRUE(Rejects(L"click 1 2 middle"));
    EXPECT_TRUE(Rejects(L"move 1 2 3 4"));
    EXPECT_TRUE(Rejects(L"move 1 99999999999"));
    EXPECT_TRUE(Rejects(L"key"));
    EXPECT_TRUE(Rejects(L"focus maybe"));
    EXPECT_TRUE(Rejects(L"back now"));
    EXPECT_TRUE(Rejects(L"load"));
    EXPECT_TRUE(Rejects(L"load " + std::wstring(2050, L'a')));
    EXPECT_TRUE(Rejects(L"dialog"));
    EXPECT_TRUE(Rejects(L"files cancel now"));
    EXPECT_TRUE(Rejects(L"can-go-back yes"));
    EXPECT_TRUE(Rejects(L"timeout 0"));
    EXPECT_TRUE(Rejects(L"wait"));
    EXPECT_TRUE(Rejects(L"page"));
    EXPECT_TRUE(Rejects(L"frame 900"));
    EXPECT_TRUE(Rejects(L"frame 0 640"));
}

TEST(GlobMatch, StarsAndQuestionMarksMatchWholeTexts)
{
    EXPECT_TRUE(GlobMatch(L"loadEnd:*", L"loadEnd:200"));
    EXPECT_TRUE(GlobMatch(L"loadEnd:*", L"loadEnd:"));
    EXPECT_FALSE(GlobMatch(L"loadEnd:", L"loadEnd:200"));
    EXPECT_TRUE(GlobMatch(L"*example*", L"address:http://example.test/"));
    EXPECT_TRUE(GlobMatch(L"a?c*d", L"abcxxd"));
    EXPECT_FALSE(GlobMatch(L"a?c", L"ac"));
    EXPECT_TRUE(GlobMatch(L"*", L""));
    EXPECT_TRUE(GlobMatch(L"*a*b", L"xaxxab"));
}

// Reads a PNG back far enough to check what the encoder promised.
struct DecodedPng {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rows;
};

uint32_t BigEndian(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool DecodePng(const std::vector<uint8_t>& png, DecodedPng& decoded)
{
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin()))
        return false;
    std::vector<uint8_t> packed;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian(&png[at]);
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        const uint8_t* data = &png[at + 8];
        if (crc32(0, &png[at + 4], length + 4) != BigEndian(data + length))
            return false;
        if (type == "IHDR") {
            decoded.width = BigEndian(data);
            decoded.height = BigEndian(data + 4);
            if (data[8] != 8 || data[9] != 2)
                return false;
        } else if (type == "IDAT") {
            packed.insert(packed.end(), data, data + length);
        } else if (type == "IEND") {
            uLongf size = decoded.height * (1 + 3 * decoded.width);
            decoded.rows.resize(size);
            return uncompress(decoded.rows.data(), &size, packed.data(), static_cast<uLong>(packed.size())) == Z_OK &&
                   size == decoded.rows.size();
        }
        at += 12 + length;
    }
    return false;
}

TEST(PngWriter, WritesRgbRowsFromBgraPixels)
{
    const uint8_t bgra[] = {
        0x01, 0x02, 0x03, 0xFF, 0x10, 0x20, 0x30, 0x00, // row 0
        0xAA, 0xBB, 0xCC, 0x7F, 0x00, 0x00, 0xFF, 0xFF, // row 1
    };
    DecodedPng png;
    ASSERT_TRUE(DecodePng(EncodePngFromBgra(2, 2, bgra), png));
    EXPECT_EQ(png.width, 2u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.rows, (std::vector<uint8_t>{0, 0x03, 0x02, 0x01, 0x30, 0x20, 0x10, //
                                              0, 0xCC, 0xBB, 0xAA, 0xFF, 0x00, 0x00}));
}

TEST(PngWriter, ALargestFrameRoundTripsAndEmptySizesGiveNothing)
{
    std::vector<uint8_t> bgra(1920 * 1080 * 4);
    for (size_t i = 0; i < bgra.size(); ++i)
        bgra[i] = static_cast<uint8_t>(i * 31 / 7);
    DecodedPng png;
    ASSERT_TRUE(DecodePng(EncodePngFromBgra(1920, 1080, bgra.data()), png));
    const size_t lastRow = 1079 * (1 + 3 * 1920);
    EXPECT_EQ(png.rows[lastRow + 1 + 3 * 1919], bgra[(1079 * 1920 + 1919) * 4 + 2]);
    EXPECT_TRUE(EncodePngFromBgra(0, 5, bgra.data()).empty());
    EXPECT_TRUE(EncodePngFromBgra(5, -1, bgra.data()).empty());
}

} // namespace
