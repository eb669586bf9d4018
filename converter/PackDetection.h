#pragma once

namespace NsConverter {

// Whether the Office file-format compatibility pack is installed: at least one of its
// uninstall keys, one per language of the pack, can be opened for reading.
bool IsCompatibilityPackInstalled() noexcept;

} // namespace NsConverter
