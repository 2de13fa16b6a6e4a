#include "audio/deferred_output.h"

namespace tolmar {

OutputBackend& DeferredOutputBackend::backend() {
  if (!backend_) {
    if (make_) backend_ = make_();
    // A factory that gives nothing leaves a build without sound, not a crash.
    if (!backend_) backend_ = std::make_unique<NullOutputBackend>();
  }
  return *backend_;
}

}  // namespace tolmar
