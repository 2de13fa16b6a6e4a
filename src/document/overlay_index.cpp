#include "document/overlay_index.h"

#include <algorithm>

namespace tolmar {

namespace {
bool overlaps(const Interpolation& r, int32_t first, int32_t last) {
  return r.start <= last && r.end >= first;
}
}  // namespace

void OverlayIndex::rebuild(const Interps& list) {
  sorted_.clear();
  long_.clear();
  maxShortLen_ = 0;
  indexed_ = 0;
  valid_ = true;
  absorbTail(list);
}

void OverlayIndex::absorbTail(const Interps& list) {
  const size_t oldSize = sorted_.size();
  for (size_t i = indexed_; i < list.size(); ++i) {
    const Interpolation& r = *list[i];
    Entry e{r.start, r.end, i, &r};
    if (r.end - r.start + 1 > kLongFrames) {
      long_.push_back(e);
    } else {
      sorted_.push_back(e);
      maxShortLen_ = std::max(maxShortLen_, r.end - r.start + 1);
    }
  }
  indexed_ = list.size();
  auto byStart = [](const Entry& a, const Entry& b) { return a.start < b.start; };
  std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(oldSize), sorted_.end(), byStart);
  std::inplace_merge(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(oldSize),
                     sorted_.end(), byStart);
}

bool OverlayIndex::stale(const Interps& list) const {
  if (!valid_ || indexed_ > list.size()) return true;
  // Records are only ever appended or removed from the end; a record that is not where the
  // index saw it means the list changed behind our back.
  if (indexed_ > 0) {
    const Interpolation* r = list[indexed_ - 1].get();
    if (r != lastSeen_ || r->start != lastStart_ || r->end != lastEnd_) return true;
  }
  return false;
}

void OverlayIndex::query(const Interps& list, int32_t first, int32_t last,
                         std::vector<size_t>& out) {
  out.clear();
  if (stale(list)) rebuild(list);
  if (list.size() - indexed_ > kTailLimit) absorbTail(list);
  if (indexed_ > 0) {
    lastSeen_ = list[indexed_ - 1].get();
    lastStart_ = lastSeen_->start;
    lastEnd_ = lastSeen_->end;
  }

  const int64_t from = static_cast<int64_t>(first) - maxShortLen_;
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), from,
                             [](const Entry& e, int64_t v) { return e.start < v; });
  for (; it != sorted_.end() && it->start <= last; ++it)
    if (it->end >= first) out.push_back(it->pos);
  for (const Entry& e : long_)
    if (e.start <= last && e.end >= first) out.push_back(e.pos);
  for (size_t i = indexed_; i < list.size(); ++i)
    if (overlaps(*list[i], first, last)) out.push_back(i);
  std::sort(out.begin(), out.end());
}

}  // namespace tolmar
