#include "audio/memory_input_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "document/wav_format.h"

namespace tolmar {

namespace {

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Frames handed to the queue per step: small enough to keep the stack frame modest.
constexpr size_t kChunkFrames = 4096;

}  // namespace

void GeneratorSource::read(int16_t* dst, size_t frames) {
  for (size_t i = 0; i < frames; ++i, ++next_) gen_(next_, dst[2 * i], dst[2 * i + 1]);
}

std::string WavFileSource::open(const std::string& path) {
  if (!f_.open(path, BinaryFile::Mode::Read)) return "cannot open " + path;
  FileByteSource src(f_);
  HeaderCopy copy;
  const WavParseResult r = parseWavHeader(src, false, 44100, copy);
  if (!r.accepted) return path + " is not a 16-bit stereo WAV file at 44100 or 48000 Hz";
  if (!f_.seek(r.dataOffset)) return "cannot read " + path;
  framesLeft_ = r.frameCount;
  rate_ = r.sampleRate;
  return {};
}

void WavFileSource::read(int16_t* dst, size_t frames) {
  size_t got = 0;
  if (framesLeft_ > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(framesLeft_, frames));
    got = f_.read(dst, want * 4) / 4;
    samplesFromLittleEndian(dst, got * 2);
    framesLeft_ = got == want ? framesLeft_ - static_cast<int64_t>(got) : 0;
  }
  std::memset(dst + got * 2, 0, (frames - got) * 4);
}

MemoryInputDevice::MemoryInputDevice(std::unique_ptr<FrameSource> source, Pacing pacing)
    : clock(steadySeconds), source_(std::move(source)), pacing_(pacing) {}

MemoryInputDevice::~MemoryInputDevice() {
  stop();
}

std::string MemoryInputDevice::open(int rate, uint32_t framesPerBuffer) {
  if (!openError.empty()) return openError;
  open_ = true;
  rate_ = rate;
  framesPerBuffer_ = framesPerBuffer;
  return {};
}

int MemoryInputDevice::add(InputBuffer& b) {
  if (addError) return addError;
  return queue_.push(&b) ? 0 : 1;
}

int MemoryInputDevice::start() {
  if (startError) return startError;
  running_ = true;
  delivered_ = 0;
  startTime_ = pacing_ == Pacing::Thread ? steadySeconds() : clock();
  if (pacing_ == Pacing::Thread && !hang) {
    stopThread_ = false;
    thread_ = std::thread([this] { threadLoop(); });
  }
  return 0;
}

int MemoryInputDevice::stop() {
  if (thread_.joinable()) {
    stopThread_ = true;
    thread_.join();
  }
  running_ = false;
  return 0;
}

int MemoryInputDevice::reset() {
  stop();
  queue_.flush();
  return 0;
}

int MemoryInputDevice::close() {
  open_ = false;
  return 0;
}

void MemoryInputDevice::service() {
  if (!running_ || hang) return;
  switch (pacing_) {
    case Pacing::Unpaced: {
      // Exactly what is queued, so nothing is ever dropped.
      int64_t due = delivered_;
      while (!queue_.empty()) {
        deliverUpTo(due += framesPerBuffer_);
      }
      break;
    }
    case Pacing::Clock:
      // A hair of slack so that a clock moved by whole buffers delivers whole buffers.
      deliverUpTo(static_cast<int64_t>((clock() - startTime_) * rate_ + 1e-6));
      break;
    case Pacing::Thread:
      break;
  }
}

void MemoryInputDevice::deliverUpTo(int64_t dueFrames) {
  int16_t chunk[kChunkFrames * 2];
  while (delivered_ < dueFrames) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(dueFrames - delivered_, kChunkFrames));
    source_->read(chunk, n);
    droppedFrames_ += queue_.fill(chunk, n);
    delivered_ += static_cast<int64_t>(n);
  }
}

void MemoryInputDevice::threadLoop() {
  // Wakes a few times per buffer, as a card's period interrupts would.
  const auto nap = std::chrono::microseconds(
      std::max<int64_t>(100, static_cast<int64_t>(framesPerBuffer_ * 1e6 / rate_ / speed / 4)));
  while (!stopThread_) {
    deliverUpTo(static_cast<int64_t>((steadySeconds() - startTime_) * speed * rate_));
    std::this_thread::sleep_for(nap);
  }
}

uint64_t MemoryInputDevice::droppedBuffers() const {
  if (framesPerBuffer_ == 0) return 0;
  return (droppedFrames_ + framesPerBuffer_ - 1) / framesPerBuffer_;
}

}  // namespace tolmar
