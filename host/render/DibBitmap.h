#pragma once

// A top-down device-independent bitmap selected into its own memory DC: CEF's frames are
// copied into its pixels, GDI draws from its DC.

#include "Win32Owners.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CDibBitmap {
public:
    // A positive size creates the bitmap at once; otherwise it stays empty until Resize.
    CDibBitmap(int width, int height, int bitsPerPixel);
    ~CDibBitmap() = default;

    CDibBitmap(const CDibBitmap&) = delete;
    CDibBitmap& operator=(const CDibBitmap&) = delete;

    // Releases the bitmap and its DC; the depth stays.
    void Clear();

    // The same size (and depth, unless bitsPerPixel is 0) keeps the pixels. Any other size
    // re-creates the bitmap filled white. When the bitmap cannot be created (no positive
    // size, not enough memory) it is left empty: 0 x 0, no DC, no pixels.
    void Resize(int width, int height, int bitsPerPixel = 0);

    // Copies a picture of the given size, in this bitmap's depth and row layout, into the
    // pixels; never more than the bitmap holds. Returns the number of bytes copied.
    size_t CopyPixels(const void* source, int width, int height);

    // Bytes of one row of a picture of this depth: rows are padded to 32 bits. Wide enough
    // for any int width, which a size_t of 32 bits is not.
    static uint64_t RowBytes(int width, int bitsPerPixel);
    // Rows and the whole picture of this bitmap; they fit in memory, so in a size_t.
    size_t Stride() const { return static_cast<size_t>(RowBytes(m_width, m_bitsPerPixel)); }
    size_t ByteSize() const { return Stride() * static_cast<size_t>(m_height); }

    bool IsEmpty() const { return m_bits == nullptr; }
    HDC Dc() const { return m_dc.Get(); }
    uint8_t* Bits() const { return m_bits; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }

private:
    // Leaves the bitmap empty when any step fails.
    void Create(int width, int height);

    int m_bitsPerPixel;
    // Released in reverse order: the selection first, so the bitmap is no longer in the DC
    // when it is deleted, then the DC.
    NsWin32::CMemoryDc m_dc;
    NsWin32::CBitmap m_bitmap;
    NsWin32::CSelection m_selection;
    uint8_t* m_bits = nullptr; // owned by m_bitmap
    int m_width = 0;
    int m_height = 0;
};
