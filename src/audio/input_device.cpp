#include "audio/input_device.h"

#include <algorithm>
#include <cstring>

namespace tolmar {

bool InputQueue::push(InputBuffer* b) {
  const size_t tail = tail_.load(std::memory_order_relaxed);
  if (tail - head_.load(std::memory_order_acquire) >= kCapacity) return false;
  b->framesRecorded.store(0, std::memory_order_relaxed);
  b->done.store(false, std::memory_order_relaxed);
  slots_[tail % kCapacity] = b;
  tail_.store(tail + 1, std::memory_order_release);
  return true;
}

size_t InputQueue::fill(const int16_t* frames, size_t count) {
  while (count > 0) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return count;
    InputBuffer* b = slots_[head % kCapacity];
    const uint32_t have = b->framesRecorded.load(std::memory_order_relaxed);
    const size_t n = std::min<size_t>(count, b->frames - have);
    std::memcpy(b->data + static_cast<size_t>(have) * 2, frames, n * 4);
    frames += n * 2;
    count -= n;
    b->framesRecorded.store(have + static_cast<uint32_t>(n), std::memory_order_relaxed);
    if (have + n == b->frames) {
      b->done.store(true, std::memory_order_release);
      head_.store(head + 1, std::memory_order_release);
    }
  }
  return 0;
}

void InputQueue::flush() {
  size_t head = head_.load(std::memory_order_relaxed);
  const size_t tail = tail_.load(std::memory_order_acquire);
  for (; head != tail; ++head)
    slots_[head % kCapacity]->done.store(true, std::memory_order_release);
  head_.store(head, std::memory_order_release);
}

bool InputQueue::empty() const {
  return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
}

}  // namespace tolmar
