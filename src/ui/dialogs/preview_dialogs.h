#pragma once
// The preview dialogs: modeless, on top, shown while their preview plays. Their controls write
// the settings at once, so the next buffer filled plays the new values; every one has
// "By-Pass" (the unprocessed sound at the same place, without a restart; off whenever the
// dialog opens), "Include Context", the clip indicator, "Restart", "Stop" and "Help".

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "ui/dialogs/form_dialog.h"

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tolmar {
class Editor;
}

namespace tolmar::ui {

class PreviewDialog : public QDialog {
 public:
  // slot: the dialog's place in the remembered positions (declick, compress, equalise,
  // filter, channel mix), -1 for none.
  PreviewDialog(Editor& editor, const QString& caption, std::string helpTopic, QWidget* parent,
                DialogEnv env, int slot = -1);
  // The position is written back when the dialog goes.
  ~PreviewDialog() override;

  // The window calls this with the play cursor's timer: the clip indicator follows the
  // playback.
  virtual void refresh();
  QPushButton* clipButton() const { return clip_; }
  QCheckBox* bypassBox() const { return bypass_; }
  // The indicator's colours, 0x00BBGGRR.
  static constexpr uint32_t kClipRed = 0x0000FF;
  static constexpr uint32_t kClipGreen = 0x00FF00;
  uint32_t clipColour() const { return clipShown_; }

 protected:
  void showEvent(QShowEvent* event) override;
  Editor& ed() { return ed_; }
  // A value shown read-only with up-down buttons of a small and (unless 0) a large step; `step`
  // gets the signed step (0 for the first showing) and returns the text to show.
  QLineEdit* addStepper(const QString& label, double small, double large,
                        std::function<QString(double)> step);
  // A control across both columns, on the next row.
  void addWide(QWidget* w);
  // A preview whose effect cannot clip shows no indicator.
  void hideClip();
  void updateClip();

 private:
  Editor& ed_;
  DialogEnv env_;
  std::string helpTopic_;
  QGridLayout* grid_ = nullptr;
  int rows_ = 0;
  QCheckBox* bypass_ = nullptr;
  QCheckBox* context_ = nullptr;
  QPushButton* clip_ = nullptr;
  uint32_t clipShown_ = kClipGreen;
  int slot_ = -1;
  bool placed_ = false;
};

// The dialog of a preview the playback opens ("CompressPreview", ...); none for a preview
// whose dialog is not built.
std::unique_ptr<PreviewDialog> createPreviewDialog(const std::string& id, Editor& editor,
                                                   QWidget* parent, const DialogEnv& env);

}  // namespace tolmar::ui
