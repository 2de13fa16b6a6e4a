#pragma once
// What ALSA's file plugin wrote for a test that plays through the real sound backend.

#include <cstdint>
#include <string>
#include <vector>

namespace tolmar::test {

// The interleaved samples of the WAV file the plugin wrote, read by its chunks.
std::vector<int16_t> pluginWavSamples(const std::string& path);

// Raw interleaved 16-bit samples, as a plugin with the "raw" format writes them.
std::vector<int16_t> rawSamples(const std::string& path);

// Writes an ALSA configuration (at configPath) whose default playback device appends raw
// frames to playPath. Every stream the plugin opens truncates a plain file; a program that
// plays more than once keeps only its last playback there, so this one appends through a pipe.
void writeAppendingAlsaConfig(const std::string& configPath, const std::string& playPath);

// The frames of that file that are not silent, in order. The plugin's null sink takes sound
// faster than the program refills buffers, so the stream plays silence before the first
// buffer, between buffers and after the last; a test signal with no silent frame comes back
// whole from what is left.
std::vector<int16_t> heardFrames(const std::vector<int16_t>& samples);

}  // namespace tolmar::test
