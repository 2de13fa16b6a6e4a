#pragma once
// TMixerFailure: the recording device's mixer cannot be used, so the input and the recording
// level are to be set elsewhere. It can write the sound-card report, open its help topic, and
// lets recording go on.

#include <QDialog>

#include "ui/dialogs/form_dialog.h"

class QCheckBox;
class QPushButton;

namespace tolmar {
class TRecording;
}

namespace tolmar::ui {

class MixerFailureDialog : public QDialog {
 public:
  static constexpr const char* kHelpTopic = "selectsoundcardinput";

  MixerFailureDialog(TRecording& model, QWidget* parent, const DialogEnv& env);
  bool notell() const;

  // Whichever way it closes, the model hears of the "Don't tell me about this again" box.
  void done(int result) override;

 private:
  TRecording& m_;
  DialogEnv env_;
  QCheckBox* notell_;
};

}  // namespace tolmar::ui
