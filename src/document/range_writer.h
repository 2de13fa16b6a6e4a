#pragma once
// Writes a range of the document, as the overlay shows it, to a new WAV file or to the
// clipboard as a complete WAV image. The document itself is left unchanged.

#include <cstdint>
#include <string>

namespace tolmar {

class WaveFile;

// Whether the file-name part of `path` (after the last '/') is free of the nine characters
// that no file name may hold: \ / : * ? " < > |
bool validFileName(const std::string& path);
// "Invalid Filename: "<name>".\rA file name may not contain any of these characters:\r\ / : ..."
std::string invalidFileNameText(const std::string& path);

// Writes frames first..last (inclusive) followed by `extra` silent frames. An empty
// `destination` puts the image on the clipboard. Shows its own errors; a file that could not be
// completed (failure or Cancel) is deleted, and a cancelled image never reaches the clipboard.
// A file is committed to storage before success is reported, unless `commit` is false: then
// the caller commits it (syncFileToStorage) and reports and deletes it when that fails.
bool writeRange(WaveFile& doc, const std::string& destination, int32_t first, int32_t extra,
                int32_t last, bool commit = true);

}  // namespace tolmar
