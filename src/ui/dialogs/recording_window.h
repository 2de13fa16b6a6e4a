#pragma once
// The recording window over the core's TRecording: it forwards every click to its handler,
// ticks it from a timer (so buffers are taken and the meters and counter move twenty times a
// second) and shows the model's captions, enabled states, meters and labels after each call.

#include <QWidget>
#include <array>

#include "ui/dialogs/form_dialog.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

namespace tolmar {
class TRecording;
struct ChannelMeter;
}  // namespace tolmar

namespace tolmar::ui {

// One channel's fifteen LEDs, lowest at the bottom, with the clip light above them.
class MeterPanel : public QWidget {
 public:
  explicit MeterPanel(QWidget* parent);
  void show(int ledsLit, bool clip);
  int ledsLit() const { return lit_; }
  bool clipLit() const { return clip_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int lit_ = 0;
  bool clip_ = false;
};

class RecordingWindow : public FormDialog {
 public:
  static constexpr int kTickMs = 50;

  RecordingWindow(TRecording& model, QWidget* parent, const DialogEnv& env);
  ~RecordingWindow() override;

  // Shows the model's state in every control.
  void sync();
  TRecording& model() { return m_; }
  MeterPanel* meter(int channel) const { return meters_[static_cast<size_t>(channel)]; }
  int ticks() const { return ticks_; }

  void reject() override;

  // The information window of "Display Mixer Status" and "Display Mixer Trace" (open while it
  // shows; tests read it).
  QDialog* mixerInfo() const { return mixerInfo_; }

 protected:
  void closeEvent(class QCloseEvent* event) override;
  void showEvent(class QShowEvent* event) override;

 private:
  // Runs a handler of the model, unless one is already running (a message box it shows lets
  // the timer and the buttons through), then shows the result.
  template <class F>
  void call(F f);
  void tick();
  void finishIfClosed();
  QPushButton* button(const char* name, const QString& text);
  QWidget* makeLevelControls();
  void showMixerFailure();
  void showMixerLines(const QString& title, const std::vector<std::string>& lines);
  void writeFullReport();

  TRecording& m_;
  QTimer* timer_;
  bool inCall_ = false;
  bool finished_ = false;
  int ticks_ = 0;
  QLabel* fileLabel_;
  QLabel* largetimer_;
  std::array<MeterPanel*, 2> meters_{};
  std::array<QLabel*, 2> peaks_{};
  QPushButton *start_, *stop_, *cancel_, *reset_, *track_, *minimise_, *timerdelay_;
  QGroupBox *limitgroup_, *rategroup_;
  QButtonGroup *limitChoice_, *rateChoice_;
  QSpinBox* minlimit_;
  QCheckBox *metersOff_, *counterOff_;
  QWidget* timerPanel_;
  QLabel *dtnow_, *dtstart_;
  QPushButton* timedrec_;
  std::array<QPushButton*, 8> upDowns_{};
  DialogEnv env_;
  QWidget* levelBox_ = nullptr;
  QComboBox* input_ = nullptr;
  QSlider *lvolume_ = nullptr, *rvolume_ = nullptr, *mastervolume_ = nullptr;
  QWidget *rightColumn_ = nullptr, *masterColumn_ = nullptr;
  QCheckBox* enablePan_ = nullptr;
  QAction *statusAction_ = nullptr, *traceAction_ = nullptr;
  QDialog* mixerInfo_ = nullptr;
  bool failureAsked_ = false;
};

// "Recording": the window of Record New WAV File.
std::unique_ptr<FormDialog> makeRecordingWindow(TRecording& model, QWidget* parent,
                                                const DialogEnv& env);

}  // namespace tolmar::ui
