#include "audio/memory_output.h"

namespace tolmar {

std::vector<int16_t> MemoryOutputLog::played() const {
  std::vector<int16_t> all;
  for (const Buffer& b : buffers) all.insert(all.end(), b.samples.begin(), b.samples.end());
  return all;
}

MemoryOutputDevice::MemoryOutputDevice(std::shared_ptr<MemoryOutputLog> log, bool paced,
                                       DeviceStatus openResult)
    : log_(std::move(log)), paced_(paced), openResult_(std::move(openResult)) {}

DeviceStatus MemoryOutputDevice::open(int deviceNo, const WaveFormat& format, int buffers) {
  log_->events.push_back("open " + std::to_string(deviceNo));
  if (!openResult_.ok()) return openResult_;
  if (format.channels != 2 || format.bitsPerSample != 16 || format.sampleRate <= 0)
    return DeviceStatus::failure(kBadFormat);
  rate_ = format.sampleRate;
  slots_.assign(static_cast<size_t>(buffers > 0 ? buffers : 0), Slot{});
  open_ = true;
  paused_ = false;
  queueEnd_ = Clock::now();
  ++log_->opens;
  return {};
}

DeviceStatus MemoryOutputDevice::prepare(int slot, const int16_t* data, uint32_t bytes) {
  if (!open_ || !validSlot(slot)) return DeviceStatus::failure(kBadDeviceId);
  Slot& s = slots_[static_cast<size_t>(slot)];
  s.data = data;
  s.bytes = bytes;
  s.prepared = true;
  return {};
}

DeviceStatus MemoryOutputDevice::unprepare(int slot) {
  if (!open_ || !validSlot(slot)) return DeviceStatus::failure(kBadDeviceId);
  settle();
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (s.queued) return DeviceStatus::failure(kStillPlaying);
  s.prepared = false;
  return {};
}

DeviceStatus MemoryOutputDevice::write(int slot) {
  if (!open_ || !validSlot(slot)) return DeviceStatus::failure(kBadDeviceId);
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (!s.prepared) return DeviceStatus::failure(kUnprepared);
  log_->events.push_back("write " + std::to_string(slot));
  const size_t samples = s.bytes / 2;
  log_->buffers.push_back({slot, std::vector<int16_t>(s.data, s.data + samples)});
  s.queued = true;
  if (paced_) {
    const Clock::time_point now = Clock::now();
    // A buffer that arrives after the previous one ended leaves a gap the listener hears.
    if (!paused_ && now > queueEnd_ && log_->buffers.size() > 1) ++log_->lateBuffers;
    const Clock::time_point start = (paused_ || now <= queueEnd_) ? queueEnd_ : now;
    const auto frames = static_cast<int64_t>(s.bytes / 4);
    s.end = start + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(frames) / rate_));
    queueEnd_ = s.end;
  }
  settle();
  return {};
}

void MemoryOutputDevice::settle() const {
  if (paused_) return;
  const Clock::time_point now = paced_ ? Clock::now() : Clock::time_point{};
  for (Slot& s : slots_)
    if (s.queued && (!paced_ || now >= s.end)) s.queued = false;
}

bool MemoryOutputDevice::done(int slot) const {
  if (!validSlot(slot)) return true;
  settle();
  return !slots_[static_cast<size_t>(slot)].queued;
}

DeviceStatus MemoryOutputDevice::pause() {
  log_->events.push_back("pause");
  if (!paused_) {
    paused_ = true;
    pausedAt_ = Clock::now();
  }
  return {};
}

DeviceStatus MemoryOutputDevice::restart() {
  log_->events.push_back("restart");
  if (paused_) {
    paused_ = false;
    // The queue stood still while paused.
    const Clock::duration held = Clock::now() - pausedAt_;
    for (Slot& s : slots_)
      if (s.queued) s.end += held;
    queueEnd_ += held;
  }
  return {};
}

DeviceStatus MemoryOutputDevice::reset() {
  log_->events.push_back("reset");
  for (Slot& s : slots_) s.queued = false;
  paused_ = false;
  queueEnd_ = Clock::now();
  return {};
}

DeviceStatus MemoryOutputDevice::close() {
  log_->events.push_back("close");
  settle();
  for (const Slot& s : slots_)
    if (s.queued) return DeviceStatus::failure(kStillPlaying);
  open_ = false;
  return {};
}

std::vector<OutputDeviceInfo> MemoryOutputBackend::outputDevices() {
  return {{0, "Memory output", true}};
}

std::unique_ptr<OutputDevice> MemoryOutputBackend::createOutput() {
  return std::make_unique<MemoryOutputDevice>(log, paced_, openResult);
}

}  // namespace tolmar
