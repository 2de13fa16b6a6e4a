// tolmar-batch: the editor core without a window.

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/batch_host.h"
#include "core/editor.h"
#include "document/wav_format.h"

namespace {

const char kUsage[] =
    "Usage: tolmar-batch --info FILE...\n"
    "\n"
    "  --info FILE...   For each WAV file, print its title line\n"
    "                   (path (length mm:ss.fff; samplerate N)), or, for a file that is not a\n"
    "                   44.1 or 48 kHz 16-bit stereo WAV file, a summary of its header.\n"
    "                   Exit status 1 when any file could not be opened.\n"
    "  --help           This text.\n"
    "\n"
    "Example:\n"
    "  tolmar-batch --info side_a.wav side_b.wav\n";

int runInfo(const std::vector<std::string>& files) {
  tolmar::BatchHost host(isatty(STDERR_FILENO) != 0);
  int failed = 0;
  for (const std::string& file : files) {
    tolmar::Editor editor(host);
    // Informational only: never write a peak cache beside someone's file.
    editor.ctx.settings.newstylewaveform = false;
    editor.ctx.silentMode = true;
    std::vector<std::string> log;
    editor.ctx.batchLog = &log;
    if (editor.OpenDocument(file, true)) {
      std::cout << editor.titleText() << "\n";
      continue;
    }
    ++failed;
    std::cout << file << ": " << tolmar::kUnsupportedFormatText << "\n";
    for (const std::string& line : log) std::cout << line << "\n";
    std::cout << "  " << tolmar::kUnsupportedFormatSummary << "\n";
    for (const std::string& line : tolmar::unsupportedFormatLines(editor.ctx.headerCopy))
      std::cout << "    " << line << "\n";
  }
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--info") {
    std::vector<std::string> files(args.begin() + 1, args.end());
    if (files.empty()) {
      std::cerr << kUsage;
      return 2;
    }
    return runInfo(files);
  }
  std::cerr << "tolmar-batch: unknown option " << args[0] << "\n" << kUsage;
  return 2;
}
