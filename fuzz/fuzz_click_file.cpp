// Arbitrary bytes as a click file: parse, write the lists back and parse the result again.

#include <cstddef>
#include <cstdint>

#include "declick/click_file.h"

namespace {

bool sameList(const tolmar::GlitchList& a, const tolmar::GlitchList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const tolmar::Glitch& x = a.items[i];
    const tolmar::Glitch& y = b.items[i];
    if (x.position != y.position || x.polarity != y.polarity || x.channel != y.channel)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolmar;
  const ClickFileContents lists = parseClickFile(data, size);
  // Every record read costs six bytes of input.
  if ((lists.stored.size() + lists.falseClicks.size()) * kClickRecordBytes > size) __builtin_trap();
  for (const GlitchList* list : {&lists.stored, &lists.falseClicks})
    for (const Glitch& g : list->items)
      if (g.channel > 1) __builtin_trap();
  // What was read writes back to a file that reads the same.
  const auto image = clickFileImage(&lists.stored, lists.falseClicks);
  const ClickFileContents again = parseClickFile(image.data(), image.size());
  if (!sameList(again.stored, lists.stored) || !sameList(again.falseClicks, lists.falseClicks))
    __builtin_trap();
  return 0;
}
