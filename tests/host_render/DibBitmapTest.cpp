// CDibBitmap: creation, the resize rules, row layout and the bounds of the pixel copy.

#include "DibBitmap.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DibBitmap, StaysEmptyUntilTheFirstRealSize)
{
    CDibBitmap bitmap(0, 0, 32);
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Dc(), nullptr);
    EXPECT_EQ(bitmap.Bits(), nullptr);
    EXPECT_EQ(bitmap.ByteSize(), 0u);

    bitmap.Resize(0, 0);
    EXPECT_TRUE(bitmap.IsEmpty());

    CDibBitmap sized(5, 3, 32);
    ASSERT_FALSE(sized.IsEmpty());
    EXPECT_NE(sized.Dc(), nullptr);
    EXPECT_EQ(sized.Width(), 5);
    EXPECT_EQ(sized.Height(), 3);
}

TEST(DibBitmap, ANewSizeIsWhiteTopDownAndWithoutRowGaps)
{
    CDibBitmap bitmap(0, 0, 32);
    bitmap.Resize(7, 4);
    ASSERT_FALSE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Stride(), 28u);
    EXPECT_EQ(bitmap.ByteSize(), 112u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(PixelAt(bitmap, x, y), kWhite) << x << "," << y;

    // What GDI draws at the top-left corner is the first pixel in memory.
    ::SetPixel(bitmap.Dc(), 0, 0, RGB(0, 0, 255));
    ::SetPixel(bitmap.Dc(), 6, 3, RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(bitmap.Bits(), 7, 0, 0), kBlue);
    EXPECT_EQ(PixelAt(bitmap.Bits(), 7, 6, 3), kRed);
}

TEST(DibBitmap, TheSameSizeKeepsThePixelsAnotherSizeOrDepthStartsWhite)
{
    CDibBitmap bitmap(4, 4, 32);
    const auto red = SolidPicture(4, 4, kRed);
    ASSERT_EQ(bitmap.CopyPixels(red.data(), 4, 4), red.size());

    bitmap.Resize(4, 4);
    EXPECT_EQ(PixelAt(bitmap, 3, 3), kRed);
    bitmap.Resize(4, 4, 32);
    EXPECT_EQ(PixelAt(bitmap, 3, 3), kRed);

    bitmap.Resize(4, 5);
    EXPECT_EQ(bitmap.Height(), 5);
    EXPECT_EQ(PixelAt(bitmap, 3, 3), kWhite);

    // Rows of 24-bit pixels are padded to 32 bits.
    bitmap.Resize(4, 5, 24);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.Stride(), 12u);
    bitmap.Resize(3, 5);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24) << "a depth of 0 keeps the current one";
    EXPECT_EQ(bitmap.Stride(), 12u);
}

TEST(DibBitmap, RowBytesFollowTheDepthWithoutOverflow)
{
    EXPECT_EQ(CDibBitmap::RowBytes(1, 1), 4u);
    EXPECT_EQ(CDibBitmap::RowBytes(33, 1), 8u);
    EXPECT_EQ(CDibBitmap::RowBytes(3, 24), 12u);
    EXPECT_EQ(CDibBitmap::RowBytes(1920, 32), 7680u);
    EXPECT_EQ(CDibBitmap::RowBytes(INT_MAX, 32), uint64_t{INT_MAX} * 4);
    EXPECT_EQ(CDibBitmap::RowBytes(0, 32), 0u);
    EXPECT_EQ(CDibBitmap::RowBytes(-5, 32), 0u);
}

TEST(DibBitmap, ClearReleasesThePictureAndKeepsTheDepth)
{
    CDibBitmap bitmap(8, 8, 24);
    bitmap.Clear();
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Dc(), nullptr);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    bitmap.Clear();
    bitmap.Resize(2, 2);
    EXPECT_EQ(bitmap.Stride(), 8u);
}

TEST(DibBitmap, ABitmapThatCannotBeCreatedStaysEmptyAndTakesNoPixels)
{
    const auto picture = SolidPicture(4, 4, kGreen);
    CDibBitmap bitmap(4, 4, 32);

    // Far more than a 32-bit process can map.
    bitmap.Resize(60000, 60000);
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.ByteSize(), 0u);
    EXPECT_EQ(bitmap.CopyPixels(picture.data(), 60000, 60000), 0u);

    for (const auto& size : {std::pair{-4, 4}, std::pair{4, -4}, std::pair{0, 4}}) {
        bitmap.Resize(size.first, size.second);
        EXPECT_TRUE(bitmap.IsEmpty());
        EXPECT_EQ(bitmap.ByteSize(), 0u);
    }
    CDibBitmap noDepth(4, 4, 0);
    EXPECT_TRUE(noDepth.IsEmpty());
    CDibBitmap tooDeep(4, 4, 33);
    EXPECT_TRUE(tooDeep.IsEmpty());

    // A later frame of a possible size works again.
    bitmap.Resize(4, 4);
    ASSERT_FALSE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.CopyPixels(picture.data(), 4, 4), picture.size());
    EXPECT_EQ(PixelAt(bitmap, 2, 2), kGreen);
}

TEST(DibBitmap, CopyPixelsNeverWritesPastThePicture)
{
    CDibBitmap bitmap(4, 2, 32);
    const auto larger = SolidPicture(4, 3, kBlue);
    EXPECT_EQ(bitmap.CopyPixels(larger.data(), 4, 3), bitmap.ByteSize());
    EXPECT_EQ(PixelAt(bitmap, 3, 1), kBlue);

    const auto smaller = SolidPicture(4, 1, kRed);
    EXPECT_EQ(bitmap.CopyPixels(smaller.data(), 4, 1), 16u);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), kRed);
    EXPECT_EQ(PixelAt(bitmap, 0, 1), kBlue);

    EXPECT_EQ(bitmap.CopyPixels(nullptr, 4, 2), 0u);
    EXPECT_EQ(bitmap.CopyPixels(smaller.data(), 0, 2), 0u);
    EXPECT_EQ(bitmap.CopyPixels(smaller.data(), 4, -1), 0u);
}

TEST(DibBitmap, ResizeAndClearReleaseTheOldBitmapAndDc)
{
    CDibBitmap bitmap(16, 16, 32);
    HDC oldDc = bitmap.Dc();
    HGDIOBJ oldBitmap = ::GetCurrentObject(oldDc, OBJ_BITMAP);
    ASSERT_EQ(::GetObjectType(oldBitmap), static_cast<DWORD>(OBJ_BITMAP));

    bitmap.Resize(17, 16);
    EXPECT_EQ(::GetObjectType(oldBitmap), 0u);
    EXPECT_EQ(::GetObjectType(oldDc), 0u);

    oldDc = bitmap.Dc();
    oldBitmap = ::GetCurrentObject(oldDc, OBJ_BITMAP);
    bitmap.Clear();
    EXPECT_EQ(::GetObjectType(oldBitmap), 0u);
    EXPECT_EQ(::GetObjectType(oldDc), 0u);
}

} // namespace
