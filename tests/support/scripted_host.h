#pragma once
// A host for tests: answers come from a queue, every message and question is recorded, and
// Cancel can be pressed on the k-th pump().

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "editor/context.h"
#include "editor/host.h"

namespace tolmar::test {

// What a scripted dialog handler is given: converts to the model's own pointer type and
// throws if the request holds another model, so a test cannot edit the wrong struct.
class ModelRef {
 public:
  explicit ModelRef(DialogModel& model) : model_(&model) {}
  template <class T>
  operator T*() const {
    return std::get<T*>(*model_);
  }
  // For a handler that shows the real dialog over the same request.
  const DialogModel& variant() const { return *model_; }

 private:
  DialogModel* model_;
};

class ScriptedHost : public Host {
 public:
  struct Said {
    MsgKind kind;
    std::string text;
  };

  // Answers for ask(), in order; when the queue is empty, `defaultAnswer` is given.
  std::deque<Answer> answers;
  Answer defaultAnswer = Answer::Yes;
  std::vector<Said> messages;   // message() calls
  std::vector<Said> questions;  // ask() calls
  std::vector<std::string> progressCaptions;
  std::vector<int> progressValues;
  int pumps = 0;
  int cancelAtPump = 0;  // 0 = never; k = clear the continue flag on the k-th pump
  Context* ctx = nullptr;
  std::function<void(int)> onPump;  // fires a command in the middle of an operation

  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<FileDialogSpec> fileDialogs;

  // Dialog handlers by id; a missing handler accepts the model as it stands (OK).
  std::map<std::string, std::function<bool(ModelRef)>> dialogs;
  std::vector<std::string> dialogIds;

  std::string title;
  int repaints = 0;
  std::vector<Repaint> repaintLog;  // what each request said changed
  int beeps = 0;
  std::vector<uint8_t> clipWave;
  bool hasClipWave = false;
  std::string clipText;
  std::vector<std::string> helpTopics;

  void message(MsgKind kind, const std::string& text) override;
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) override;
  void progressBegin(const std::string& caption) override { progressCaptions.push_back(caption); }
  void progressSet(int percent) override { progressValues.push_back(percent); }
  void progressEnd() override {}
  std::vector<std::string> progressDetails;
  void progressDetail(const std::string& text) override { progressDetails.push_back(text); }
  void pump() override;
  std::optional<std::string> openFileDialog(const FileDialogSpec& spec) override;
  std::optional<std::string> saveFileDialog(const FileDialogSpec& spec) override;
  bool runDialog(DialogRequest& request) override;
  void requestRepaint(const Repaint& what) override {
    ++repaints;
    repaintLog.push_back(what);
  }
  void setTitle(const std::string& t) override { title = t; }
  bool clipboardHasWave() override { return hasClipWave; }
  std::optional<std::vector<uint8_t>> clipboardWave() override;
  bool setClipboardWave(const std::vector<uint8_t>& image) override;
  void setClipboardText(const std::string& text) override { clipText = text; }
  void showHelp(const std::string& topic) override { helpTopics.push_back(topic); }
  void beep() override { ++beeps; }

  // Playback: a host that polls (as a window does) or one that waits (the default).
  bool drives = false;
  std::vector<bool> playingStates;         // playingStateChanged() calls
  std::vector<std::string> previewEvents;  // "open DeclickPreview", "close DeclickPreview"
  int cursorStarts = 0;
  int cursorStops = 0;
  bool drivesPlayback() const override { return drives; }
  void playingStateChanged(bool playing) override { playingStates.push_back(playing); }
  void playCursorStarted(int32_t, int32_t) override { ++cursorStarts; }
  void playCursorStopped() override { ++cursorStops; }
  void previewOpened(const std::string& id) override { previewEvents.push_back("open " + id); }
  void previewClosed(const std::string& id) override { previewEvents.push_back("close " + id); }

  // Texts of every message, in order.
  std::vector<std::string> texts() const;
  bool said(const std::string& text) const;
  bool asked(const std::string& text) const;
};

}  // namespace tolmar::test
