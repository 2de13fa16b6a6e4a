#include "support/played_file.h"

#include <fstream>
#include <iterator>

namespace tolmar::test {

std::vector<int16_t> pluginWavSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string b{std::istreambuf_iterator<char>(in), {}};
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
  };
  std::vector<int16_t> samples;
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return samples;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = u32(at + 4);
    if (b.compare(at, 4, "data") == 0) {
      // The plugin may leave the size field short of what it wrote; the bytes are what count.
      for (size_t i = at + 8; i + 1 < b.size(); i += 2)
        samples.push_back(
            static_cast<int16_t>(static_cast<uint8_t>(b[i]) | static_cast<uint8_t>(b[i + 1]) << 8));
      return samples;
    }
    at += 8 + size + (size & 1);
  }
  return samples;
}

std::vector<int16_t> rawSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string b{std::istreambuf_iterator<char>(in), {}};
  std::vector<int16_t> samples;
  for (size_t i = 0; i + 1 < b.size(); i += 2)
    samples.push_back(
        static_cast<int16_t>(static_cast<uint8_t>(b[i]) | static_cast<uint8_t>(b[i + 1]) << 8));
  return samples;
}

void writeAppendingAlsaConfig(const std::string& configPath, const std::string& playPath) {
  std::ofstream(configPath) << "pcm.test_play {\n"
                               "  type file\n"
                               "  slave.pcm { type null }\n"
                               "  file \"|cat >> '"
                            << playPath
                            << "'\"\n"
                               "  format \"raw\"\n"
                               "}\n"
                               "pcm.test_capture {\n"
                               "  type file\n"
                               "  slave.pcm { type null }\n"
                               "  file \"/dev/null\"\n"
                               "  infile \"/dev/null\"\n"
                               "  format \"raw\"\n"
                               "}\n"
                               "pcm.!default { type asym playback.pcm \"test_play\" "
                               "capture.pcm \"test_capture\" }\n"
                               "pcm.null { type null }\n";
}

std::vector<int16_t> heardFrames(const std::vector<int16_t>& samples) {
  std::vector<int16_t> heard;
  for (size_t i = 0; i + 1 < samples.size(); i += 2)
    if (samples[i] != 0 || samples[i + 1] != 0)
      heard.insert(heard.end(), {samples[i], samples[i + 1]});
  return heard;
}

}  // namespace tolmar::test
