#pragma once
// The sound-card dialog (recording and playback devices, buffers, what the output device does
// when playback ends or is stopped) and the recording-line picker it opens for a recording
// device whose mixer has several wave-input lines.

#include <memory>
#include <vector>

#include "audio/sound_cards.h"
#include "ui/dialogs/form_dialog.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace tolmar::ui {

inline constexpr char kPickCardsCaption[] = "Select and Configure Soundcard(s)";
inline constexpr char kInitialSetupCaption[] =
    "Initial Setup - Choose Soundcard for Recording and Playback";
inline constexpr char kPickCardsHelpTopic[] = "configuresoundcard";
inline constexpr char kPickRecLineCaption[] = "Pick Recording Line";

class TPickCards : public FormDialog {
 public:
  // Lists the suitable devices of `cards` with the chosen ones selected. OK writes the dialog's
  // values into `choice`; Cancel leaves it. In initial-setup mode (start-up) only the devices
  // and the switches are shown.
  TPickCards(SoundCardChoice& choice, SoundCardList& cards, bool initialSetup, QWidget* parent,
             const DialogEnv& env);

  QComboBox* recdevs() const { return recdevs_; }
  QComboBox* playdevs() const { return playdevs_; }
  QComboBox* nbuffs() const { return nbuffs_; }
  QComboBox* buffspersec() const { return buffspersec_; }
  // The wave-input line of the recording device, -1 for its default one.
  int recordLine() const { return recordLine_; }
  bool initialSetup() const { return initialSetup_; }

 private:
  void recdevsChange();
  void okbtnClick();

  SoundCardChoice& choice_;
  SoundCardList& cards_;
  bool initialSetup_;
  DialogEnv pickerEnv_;
  std::vector<InputDeviceInfo> recording_;
  std::vector<OutputDeviceInfo> playback_;
  int recordLine_ = -1;
  QComboBox* recdevs_ = nullptr;
  QComboBox* playdevs_ = nullptr;
  QComboBox* nbuffs_ = nullptr;
  QComboBox* buffspersec_ = nullptr;
  QCheckBox* checks_[7] = {};
};

// TPickRecLine: `chosen` is the index into `lines` of the line picked on OK.
std::unique_ptr<FormDialog> makePickRecLineDialog(const std::vector<WaveInputLine>& lines,
                                                  int& chosen, QWidget* parent,
                                                  const DialogEnv& env);

}  // namespace tolmar::ui
