#pragma once
// The main window: owns the editor core and is its host. Menus come from the command table;
// the idle pass enables them; long operations show the progress panel with Cancel.

#include <QMainWindow>
#include <memory>
#include <vector>

#include "audio/sound_cards.h"
#include "editor/editor.h"
#include "editor/host.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSlider;
class QTimer;
class QToolButton;

namespace tolmar {

namespace ui {
class FindClicksResultWindow;
class FormDialog;
class HelpWindow;
class PreviewDialog;
struct DialogEnv;
}  // namespace ui
class WaveArea;
class ToolBar;
class MacroBar;

class TMainForm : public QMainWindow, public Host {
  Q_OBJECT
 public:
  // `interactive` false: nothing modal is shown (screenshots); messages go to stderr.
  explicit TMainForm(bool interactive = true);
  ~TMainForm() override;

  Editor& editor() { return *editor_; }
  WaveArea* waveArea() { return wave_; }
  ToolBar* toolBar() { return Panel1_; }
  MacroBar* macroBar() { return Panel2_; }
  QSlider* vscalebar() { return vscalebar_; }
  QSlider* voffsetbar() { return voffsetbar_; }

  // The sound cards the start-up check and the sound-card dialog list. Without them (a picture,
  // most tests) the start-up check is skipped and nothing about devices is asked.
  void setSoundCards(SoundCardList* cards) { soundCards_ = cards; }

  // Start-up: settings, the invalid-number message, the sound cards (chosen again when they
  // have changed) and the window position.
  void FormCreate(bool restorePosition);
  // The command line: one path; ".mkr", ".cue" and ".clk" open the WAV of the same name and load
  // that file into it.
  void openCommandLine(const std::string& path);
  // Runs a command of the table the way a menu click does. False when it was refused.
  bool routeCommand(const Command& c);
  QAction* actionFor(const Command& c);
  // The enabling pass, run whenever the event queue empties.
  void idlePass();
  bool progressShowing() const;
  // The recent-file and view-history items, in menu order (for tests).
  const std::vector<QAction*>& recentFileActions() const { return recentActions_; }
  const std::vector<QAction*>& viewHistoryActions() const { return historyActions_; }
  // How many commands the routing refused (for tests).
  int refusedCommands = 0;

  // ---- Host ----
  void message(MsgKind kind, const std::string& text) override;
  Answer ask(MsgKind kind, Buttons buttons, const std::string& text) override;
  void progressBegin(const std::string& caption) override;
  void progressSet(int percent) override;
  void progressEnd() override;
  void progressDetail(const std::string& text) override;
  void pump() override;
  void setBusyCursor(bool busy) override;
  std::optional<std::string> openFileDialog(const FileDialogSpec& spec) override;
  std::optional<std::string> saveFileDialog(const FileDialogSpec& spec) override;
  bool runDialog(DialogRequest& request) override;
  void requestRepaint(const Repaint& what) override;
  void setTitle(const std::string& title) override;
  void refreshCommands() override;
  bool clipboardHasWave() override;
  std::optional<std::vector<uint8_t>> clipboardWave() override;
  bool setClipboardWave(const std::vector<uint8_t>& image) override;
  void setClipboardText(const std::string& text) override;
  void beep() override;
  // Every Help button: the topic's page in the help window.
  void showHelp(const std::string& topic) override;
  ui::HelpWindow* helpWindow() const { return help_; }
  // Playback runs from the window's own event loop: a short timer polls the engine.
  bool drivesPlayback() const override { return true; }
  void playingStateChanged(bool playing) override;
  void playCursorStarted(int32_t first, int32_t last) override;
  void playCursorStopped() override;
  void previewOpened(const std::string& id) override;
  void previewClosed(const std::string& id) override;
  // The windows that stay open beside the editor: the last Find All Clicks result and the last
  // Frequency Analysis, if any (they may be hidden after Close).
  ui::FindClicksResultWindow* clickResultWindow() { return clickResult_.get(); }
  ui::FormDialog* spectrumWindow() { return spectrum_.get(); }
  // The result window's Remove: Remove All Clicks through the command routing, so that it is
  // refused while an operation runs and acts on the click list as it is now.
  bool removeFoundClicks();
  // The preview dialog showing, if any.
  ui::PreviewDialog* previewDialog() { return preview_.get(); }
  // The play cursor's timer (PlaybackTimer), for tests that step it.
  QTimer* playbackTimer() { return PlaybackTimer_; }
  // The pause button of the status panel (for tests).
  QToolButton* pauseButton() { return pausebtn_; }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void buildMenus();
  // The start-up device check: the sound-card dialog when the cards chosen last time are not
  // there, then whether record and play can be offered at all.
  void checkSoundCards();
  ui::DialogEnv dialogEnv();
  // Opens a window that stays open (true), or none for a dialog that is modal.
  bool openLiveWindow(DialogRequest& request, const ui::DialogEnv& env);
  // The recent files after the File menu's fixed items and the view history after the View
  // menu's, rebuilt when what they list has changed.
  void rebuildListMenus();
  void cancelbtnClick();
  void scheduleIdle();
  void PlaybackTimerTimer();
  // The pause button: shown while playing, held down while paused.
  void showPauseState();
  // A macro button: refused like a command while an operation runs.
  void runMacroButton(int slot);
  // The vertical adjusters beside the wave area, each half its height.
  void layoutAdjusters();
  // A key while playing: true when it was a playback key.
  bool playingKey(QKeyEvent* e);

  bool interactive_;
  SoundCardList* soundCards_ = nullptr;
  ui::HelpWindow* help_ = nullptr;
  std::unique_ptr<Editor> editor_;
  WaveArea* wave_ = nullptr;
  ToolBar* Panel1_ = nullptr;
  MacroBar* Panel2_ = nullptr;
  QWidget* adjusters_ = nullptr;
  QSlider* vscalebar_ = nullptr;
  QSlider* voffsetbar_ = nullptr;
  QLabel* pagesamples_ = nullptr;
  QProgressBar* progressbar_ = nullptr;
  QPushButton* cancelbtn_ = nullptr;
  QLabel* clicklabel_ = nullptr;
  QToolButton* pausebtn_ = nullptr;
  QLabel* timedisplay_ = nullptr;
  QScrollBar* filesegbar_ = nullptr;
  QTimer* idleTimer_ = nullptr;
  QTimer* pollTimer_ = nullptr;
  QTimer* PlaybackTimer_ = nullptr;
  std::unique_ptr<ui::PreviewDialog> preview_;
  // After editor_: they go before the core they call.
  std::unique_ptr<ui::FindClicksResultWindow> clickResult_;
  std::unique_ptr<ui::FormDialog> spectrum_;
  std::vector<QAction*> actions_;  // parallel to commandTable()
  QMenu* fileMenu_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  std::vector<QAction*> recentActions_;
  std::vector<QAction*> historyActions_;
  std::vector<std::string> recentShown_;
  std::vector<std::string> historyShown_;
  bool idleScheduled_ = false;
  int busyDepth_ = 0;
};

// "Label|*.ext|Label|*.*" -> "Label (*.ext);;Label (*.*)"
QString qtFilter(const std::string& filter);

}  // namespace tolmar
