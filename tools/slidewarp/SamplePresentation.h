#pragma once

#include <cstddef>
#include <string>

// Writes a small but complete .pptx: one slide with `title` on it, and its master, layout and
// theme, so that presentation programs open it. `paddingBytes` adds a stored part of that
// size (ppt/media/padding.bin) for inputs of a given weight. False when the file cannot be
// written.
bool WriteSamplePresentation(const std::wstring& path, const std::wstring& title, std::size_t paddingBytes);
