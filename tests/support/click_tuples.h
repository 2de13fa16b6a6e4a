#pragma once
// A glitch list as (position, polarity, channel) tuples, so that a test can compare it with a
// list written out by hand and a failure prints every click.

#include <cstdint>
#include <tuple>
#include <vector>

#include "declick/glitch_list.h"

namespace tolmar::test {

using Click = std::tuple<int32_t, int, int>;  // position, polarity, channel

inline std::vector<Click> clicksOf(const GlitchList& list) {
  std::vector<Click> out;
  for (const Glitch& g : list.items) out.emplace_back(g.position, g.polarity, g.channel);
  return out;
}

}  // namespace tolmar::test
