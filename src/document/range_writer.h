#pragma once
// Writes a range of the document, as the overlay shows it, to a new WAV file or to the
// clipboard as a complete WAV image. The document itself is left unchanged.

#include <cstdint>
#include <string>

#include "document/binary_file.h"

namespace tolmar {

class WaveFile;

// Whether the file-name part of `path` (after the last '/') is free of the nine characters
// that no file name may hold: \ / : * ? " < > |
bool validFileName(const std::string& path);
// "Invalid Filename: "<name>".\rA file name may not contain any of these characters:\r\ / : ..."
std::string invalidFileNameText(const std::string& path);

// Writes frames first..last (inclusive) followed by `extra` silent frames. An empty
// `destination` puts the image on the clipboard. Shows its own errors; a cancelled image never
// reaches the clipboard. A file is written under a scratch name beside the destination and
// only takes its name once complete and committed, so a failed, cancelled or killed write
// leaves whatever had the name before. With `uncommitted` the file is left complete but not
// yet committed under the scratch name, open and held, and handed over there: the caller
// commits it (file.sync(), from any one thread) and puts it in place with putInPlace, or
// deletes it.
struct UncommittedFile {
  BinaryFile file;
  std::string path;
};
bool writeRange(WaveFile& doc, const std::string& destination, int32_t first, int32_t extra,
                int32_t last, UncommittedFile* uncommitted = nullptr);

// Renames a committed file written by writeRange over its destination and commits the name;
// false (with `written` deleted) when that fails. The file is renamed while still open, so
// that it is held until it has its name, and closed after.
bool putInPlace(UncommittedFile& written, const std::string& destination);

}  // namespace tolmar
