#pragma once
// An editor over a scratch directory, its scripted host wired to its context. The overview is
// off, so opening a file reads nothing but its header; a test that wants it turns it on.

#include <gtest/gtest.h>

#include <string>

#include "editor/editor.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"

namespace tolmar::test {

struct EditorTest : ::testing::Test {
  TempDir dir;
  ScriptedHost host;
  Editor editor{host};
  std::string wav = dir.file("side.wav");

  EditorTest() {
    host.ctx = &editor.ctx;
    editor.ctx.settings.newstylewaveform = false;
  }
};

}  // namespace tolmar::test
