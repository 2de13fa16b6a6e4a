// Feeds arbitrary bytes to the clipboard image reader at both rates and checks what an accepted
// image promises: the header fields passed, a "data" chunk header stands before frame 0 and
// every frame lies inside the image. A refused image always carries one of the known texts.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/binary_file.h"
#include "document/clipboard_image.h"

using namespace tolmar;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void parseOnce(const uint8_t* data, size_t size, int rate) {
  const ClipboardImage r = parseClipboardImage(data, size, rate);
  if (!r.accepted) {
    check(r.error == kClipNotWavText || r.error == kClipNotPcmText ||
          r.error == kClipNotStereoText || r.error == kClipNot16BitText ||
          r.error.rfind("Data in clipboard is at sample rate ", 0) == 0);
    return;
  }
  check(r.error.empty());
  check(size >= 44);
  check(std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVEfmt ", 8) == 0);
  check(loadU16(data + 20) == 1 && loadU16(data + 22) == 2 && loadU16(data + 34) == 16);
  check(loadU32(data + 24) == static_cast<uint32_t>(rate));
  check(loadU32(data + 16) >= 16);
  check(r.dataOffset >= 44 && r.dataOffset <= size);
  check(std::memcmp(data + r.dataOffset - 8, "data", 4) == 0);
  check(r.frames >= 0);
  check(r.frames == static_cast<int32_t>(loadU32(data + r.dataOffset - 4) / 4));
  check(r.dataOffset + static_cast<uint64_t>(r.frames) * 4 <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  parseOnce(data, size, 44100);
  parseOnce(data, size, 48000);
  return 0;
}
