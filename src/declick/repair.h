#pragma once
// Interpolation repair of clicks and selections.

#include <cstdint>

#include "declick/declick_types.h"

namespace tolmar {

// Repairs the click at `position` on `channel` inside an interleaved buffer holding frames
// blockStart..blockEnd, by `method` over `width` frames. smoothEdges: the Blocks menu's "Smooth
// Edges After Copying" check, used by the CopyPreceding method.
void RepairClickInBuffer(int16_t* buf, int32_t blockStart, int32_t blockEnd, int32_t position,
                         int channel, RepairMethod method, int width, bool smoothEdges);

}  // namespace tolmar
