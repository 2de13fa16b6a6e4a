// Built on the dsp floor, this reaches down to the document and the base: it must compile, so
// that the failure of the upward probe is the missing header and nothing else.
#include "base/session.h"
#include "document/wave_file.h"

int downwardIncludeProbe() {
  return sizeof(tolmar::WaveFile) > 0;
}
