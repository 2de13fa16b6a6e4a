#pragma once
// Writing a small file whole or not at all.

#include <string>

#include "document/binary_file.h"

namespace tolmar {

// Writes a file so that a failed write leaves the previous one whole: under a scratch name
// beside it, renamed over it once complete and committed to storage. A symbolic link, a file
// the user may not write, and a file in a directory where no scratch file can be made are
// written in place, since a rename would replace the link or the protected file.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string path);
  // A scratch file that was never committed goes.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Throws FileError with the path and the system's reason when nothing can be opened.
  void openOrThrow();
  BinaryFile& file() { return file_; }
  // Commits what was written and puts it in place under the path; false (with the previous
  // file kept, unless written in place) when any step fails.
  bool commit();

 private:
  std::string path_;
  std::string scratch_;
  BinaryFile file_;
};

}  // namespace tolmar
