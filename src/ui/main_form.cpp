#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>
#include <map>

#include "document/time_text.h"
#include "dsp/frequency_analysis.h"
#include "editor/command_table.h"
#include "editor/declick_commands.h"
#include "ui/button_bars.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/help_window.h"
#include "ui/dialogs/model_dialogs.h"
#include "ui/dialogs/preview_dialogs.h"
#include "ui/dialogs/sound_card_dialogs.h"
#include "ui/dialogs/spectral_dialogs.h"
#include "ui/wave_area.h"

namespace tolmar {

namespace {

QString shown(const std::string& text) {
  QString t = QString::fromStdString(text);
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

QString qtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i];
    const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    if (!label.contains(QLatin1Char('('))) label += " (" + pattern + ")";
    out << label;
  }
  return out.join(QStringLiteral(";;"));
}

TMainForm::TMainForm(bool interactive)
    : interactive_(interactive), editor_(std::make_unique<Editor>(*this)) {
  setWindowTitle(QStringLiteral("Tolmar"));
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel1_ = new ToolBar([this](const Command& c) { routeCommand(c); }, central);
  column->addWidget(Panel1_);
  Panel2_ = new MacroBar(
      editor_->macros, [this](int slot) { runMacroButton(slot); }, central);
  Panel2_->setMinimumWidth(1);
  column->addWidget(Panel2_);

  // The status panel: status text, gauge, Cancel, click label, time under the pointer.
  auto* panel3 = new QWidget(central);
  auto* row = new QHBoxLayout(panel3);
  row->setContentsMargins(4, 2, 4, 2);
  pagesamples_ = new QLabel(panel3);
  progressbar_ = new QProgressBar(panel3);
  progressbar_->setRange(0, 100);
  progressbar_->setFixedWidth(160);
  progressbar_->hide();
  cancelbtn_ = new QPushButton(QStringLiteral("Cancel"), panel3);
  cancelbtn_->hide();
  connect(cancelbtn_, &QPushButton::clicked, this, [this] { cancelbtnClick(); });
  clicklabel_ = new QLabel(panel3);
  // Shown while playing: pauses the pass and resumes it where it stood (as Esc does).
  pausebtn_ = new QToolButton(panel3);
  pausebtn_->setObjectName(QStringLiteral("pausebtn"));
  pausebtn_->setCheckable(true);
  pausebtn_->setText(QStringLiteral("Pause"));
  pausebtn_->setToolTip(QStringLiteral("Pause Playback"));
  // Its room is kept while hidden: the wave area must not move when playback starts.
  QSizePolicy keep = pausebtn_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  pausebtn_->setSizePolicy(keep);
  pausebtn_->hide();
  connect(pausebtn_, &QToolButton::clicked, this, [this] {
    editor_->pausebtnClick();
    showPauseState();
  });
  timedisplay_ = new QLabel(panel3);
  QFont bold = timedisplay_->font();
  bold.setBold(true);
  timedisplay_->setFont(bold);
  timedisplay_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  row->addWidget(pagesamples_);
  row->addWidget(progressbar_);
  row->addWidget(cancelbtn_);
  row->addWidget(clicklabel_);
  row->addWidget(pausebtn_);
  row->addStretch(1);
  row->addWidget(timedisplay_);
  column->addWidget(panel3);

  auto* middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  wave_ = new WaveArea(*editor_, central);
  wave_->onTimeText = [this](const QString& t) { timedisplay_->setText(t); };
  wave_->onStatus = [this](const QString& t) { pagesamples_->setText(t); };
  wave_->onChanged = [this] { scheduleIdle(); };
  middle->addWidget(wave_, 1);
  // The vertical adjusters: scale above offset. The top of each bar is its minimum, so pulling
  // the scale bar up magnifies and pulling the offset bar up lifts the waveform.
  adjusters_ = new QWidget(central);
  auto* bars = new QVBoxLayout(adjusters_);
  bars->setContentsMargins(2, 0, 3, 0);
  bars->setSpacing(0);
  vscalebar_ = new QSlider(Qt::Vertical, adjusters_);
  vscalebar_->setObjectName(QStringLiteral("vscalebar"));
  vscalebar_->setRange(1, 1000);
  vscalebar_->setValue(kDefaultScaleBarPosition);
  vscalebar_->setInvertedAppearance(true);
  vscalebar_->setToolTip(QStringLiteral("Vertical Scale"));
  voffsetbar_ = new QSlider(Qt::Vertical, adjusters_);
  voffsetbar_->setObjectName(QStringLiteral("voffsetbar"));
  voffsetbar_->setRange(-100, 100);
  voffsetbar_->setValue(0);
  voffsetbar_->setInvertedAppearance(true);
  voffsetbar_->setToolTip(QStringLiteral("Vertical Offset"));
  bars->addWidget(vscalebar_);
  bars->addWidget(voffsetbar_);
  bars->addStretch(1);
  connect(vscalebar_, &QSlider::valueChanged, this, [this](int pos) {
    editor_->vscalebarChange(pos);
    scheduleIdle();
  });
  connect(voffsetbar_, &QSlider::valueChanged, this, [this](int pos) {
    editor_->voffsetbarChange(pos);
    scheduleIdle();
  });
  adjusters_->hide();
  middle->addWidget(adjusters_);
  column->addLayout(middle, 1);

  filesegbar_ = new QScrollBar(Qt::Horizontal, central);
  connect(filesegbar_, &QScrollBar::sliderMoved, this, [this](int pos) {
    if (editor_->doc)
      timedisplay_->setText(QString::fromStdString(
          formatTime(editor_->ctx, int64_t{pos} * editor_->view.scrollerStep, editor_->doc->cues)));
  });
  connect(filesegbar_, &QScrollBar::actionTriggered, this, [this](int) {
    QTimer::singleShot(0, this, [this] {
      if (!filesegbar_->isSliderDown()) editor_->filesegbarScroll(filesegbar_->sliderPosition());
    });
  });
  connect(filesegbar_, &QScrollBar::sliderReleased, this,
          [this] { editor_->filesegbarScroll(filesegbar_->sliderPosition()); });
  column->addWidget(filesegbar_);
  setCentralWidget(central);

  buildMenus();
  idleTimer_ = new QTimer(this);
  idleTimer_->setInterval(250);
  connect(idleTimer_, &QTimer::timeout, this, [this] { idlePass(); });
  idleTimer_->start();

  // A buffer of a tenth of a second is refilled well within one 2 ms poll.
  pollTimer_ = new QTimer(this);
  pollTimer_->setInterval(2);
  pollTimer_->setTimerType(Qt::PreciseTimer);
  connect(pollTimer_, &QTimer::timeout, this, [this] {
    if (!editor_->pollPlayback()) pollTimer_->stop();
  });
  PlaybackTimer_ = new QTimer(this);
  PlaybackTimer_->setInterval(100);
  connect(PlaybackTimer_, &QTimer::timeout, this, [this] { PlaybackTimerTimer(); });
  resize(1000, 700);
}

TMainForm::~TMainForm() = default;

void TMainForm::buildMenus() {
  const auto& table = commandTable();
  actions_.assign(table.size(), nullptr);
  std::map<std::string_view, QMenu*> menus;
  for (std::string_view top : topLevelMenus())
    menus[top] = menuBar()->addMenu(QString::fromUtf8(top.data(), static_cast<int>(top.size())));
  for (size_t i = 0; i < table.size(); ++i) {
    const Command& c = table[i];
    QMenu* menu = menus[c.menu];
    if (!menu) continue;
    if (tolmar::isSeparator(c)) {
      menu->addSeparator();
      continue;
    }
    auto* a =
        new QAction(QString::fromUtf8(c.caption.data(), static_cast<int>(c.caption.size())), this);
    a->setCheckable(c.checkItem);
    a->setVisible(tolmar::isVisible(c, editor_->ctx.settings.debugDcp));
    const QString sc = QString::fromStdString(editor_->shortcuts.shortcut(c));
    if (!sc.isEmpty()) a->setShortcut(QKeySequence(sc));
    connect(a, &QAction::triggered, this, [this, &c] { routeCommand(c); });
    menu->addAction(a);
    actions_[i] = a;
  }
  fileMenu_ = menus["&File"];
  viewMenu_ = menus["&View"];
}

namespace {
// A path shown in a menu caption: "&" would otherwise underline the next letter.
QString menuText(const std::string& caption, size_t prefix) {
  return QString::fromStdString(caption.substr(0, prefix)) +
         QString::fromStdString(caption.substr(prefix)).replace('&', "&&");
}
}  // namespace

void TMainForm::rebuildListMenus() {
  Editor& e = *editor_;
  std::vector<std::string> recent;
  const auto items = recentFileMenu(e.iniFile);
  for (const RecentFileItem& item : items) recent.push_back(item.caption);
  if (fileMenu_ && recent != recentShown_) {
    for (QAction* a : recentActions_) delete a;
    recentActions_.clear();
    for (const RecentFileItem& item : items) {
      // "&n: " stays a mnemonic; the path is shown as it is.
      auto* a = new QAction(menuText(item.caption, item.caption.find(": ") + 2), this);
      connect(a, &QAction::triggered, this, [this, path = item.path] {
        const Command* open = findHandler("OpenWAVFile1Click");
        if (progressShowing() || !open ||
            !tolmar::isEnabled(*open, computeCommandState(*editor_))) {
          ++refusedCommands;
          beep();
          return;
        }
        // Opening closes the document first: a file removed since the menu was built must
        // not cost the user the side that is open.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
          message(MsgKind::Error, "\"" + path + "\" no longer exists");
          scheduleIdle();
          return;
        }
        if (editor_->QueryClose()) editor_->OpenDocument(path, true);
        wave_->update();
        scheduleIdle();
      });
      fileMenu_->addAction(a);
      recentActions_.push_back(a);
    }
    recentShown_ = std::move(recent);
  }
  std::vector<std::string> history = e.viewHistoryCaptions();
  if (viewMenu_ && history != historyShown_) {
    for (QAction* a : historyActions_) delete a;
    historyActions_.clear();
    int k = 1;
    for (const std::string& caption : history) {
      auto* a = new QAction(QString::fromStdString(caption), this);
      connect(a, &QAction::triggered, this, [this, k] {
        if (progressShowing()) {
          ++refusedCommands;
          beep();
          return;
        }
        editor_->goBackViews(k);
        wave_->update();
        scheduleIdle();
      });
      viewMenu_->addAction(a);
      historyActions_.push_back(a);
      ++k;
    }
    historyShown_ = std::move(history);
  }
}

QAction* TMainForm::actionFor(const Command& c) {
  const size_t i = commandIndex(c);
  return i < actions_.size() ? actions_[i] : nullptr;
}

bool TMainForm::progressShowing() const {
  return editor_->ctx.progressDepth > 0;
}

bool TMainForm::routeCommand(const Command& c) {
  // A running operation pumps messages: a second command would interleave its records with it.
  if (progressShowing()) {
    ++refusedCommands;
    beep();
    return false;
  }
  if (c.handler == "Exit1Click") {
    close();
    return true;
  }
  if (!c.action) {
    message(MsgKind::Information, "\"" + cleanCaption(c.caption) + "\" is not built yet.");
    return false;
  }
  if (!tolmar::isEnabled(c, computeCommandState(*editor_))) return false;
  invoke(*editor_, c);
  wave_->update();
  scheduleIdle();
  return true;
}

void TMainForm::scheduleIdle() {
  if (idleScheduled_) return;
  idleScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    idleScheduled_ = false;
    idlePass();
  });
}

void TMainForm::showPauseState() {
  const bool playing = editor_->isPlaying();
  const bool paused = playing && editor_->playback().paused();
  pausebtn_->setVisible(playing);
  pausebtn_->setChecked(paused);
  pausebtn_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  pausebtn_->setToolTip(paused ? QStringLiteral("Resume Playback")
                               : QStringLiteral("Pause Playback"));
}

void TMainForm::idlePass() {
  Editor& e = *editor_;
  showPauseState();
  if (e.doc && e.applyWheelSteps()) wave_->update();
  const CommandState state = computeCommandState(e);
  const auto& table = commandTable();
  for (size_t i = 0; i < table.size(); ++i) {
    QAction* a = actions_[i];
    if (!a) continue;
    a->setEnabled(tolmar::isEnabled(table[i], state) || table[i].handler == "Exit1Click");
    if (table[i].checkItem) a->setChecked(isChecked(e, table[i]));
    if (table[i].handler == "Undo1Click" || table[i].handler == "Redo1Click")
      a->setText(QString::fromStdString(commandCaption(e, table[i])));
  }
  if (clickResult_) {
    const Command* remove = findHandler("RemoveAllClicks1Click");
    clickResult_->setRemoveAvailable(remove && tolmar::isEnabled(*remove, state) &&
                                     !progressShowing());
  }
  Panel1_->setVisible(e.ctx.settings.showbuttonbar);
  Panel1_->follow(state, [&e](const Command& c) { return isChecked(e, c); });
  Panel2_->setVisible(e.ctx.settings.showmacrobuttonbar);
  Panel2_->follow(state);
  layoutAdjusters();
  rebuildListMenus();
  // The time scroller follows the page.
  const bool scroller = e.ctx.settings.timescroller && e.doc;
  filesegbar_->setVisible(scroller);
  if (scroller && !filesegbar_->isSliderDown()) {
    const int step = std::max(e.view.scrollerStep, 1);
    const int page = std::max(e.doc->viewWidth / step, 1);
    filesegbar_->blockSignals(true);
    filesegbar_->setRange(0, std::max(e.doc->frameCount / step - page, 0));
    filesegbar_->setPageStep(page);
    filesegbar_->setSingleStep(std::max(page * e.ctx.settings.fragment / 100, 1));
    filesegbar_->setValue(e.doc->viewStart / step);
    filesegbar_->blockSignals(false);
  }
}

void TMainForm::layoutAdjusters() {
  Editor& e = *editor_;
  const bool shown = e.ctx.settings.vscaleadjusters && e.doc;
  adjusters_->setVisible(shown);
  if (!shown) return;
  const int half = std::max(e.view.areaHeight() / 2, 1);
  if (vscalebar_->minimumHeight() != half) vscalebar_->setFixedHeight(half);
  if (voffsetbar_->minimumHeight() != half) voffsetbar_->setFixedHeight(half);
  const bool free = !e.doc->maxVertical;
  vscalebar_->setEnabled(free);
  voffsetbar_->setEnabled(free);
  // Reset Vertical Adjusters moves the bars through the view state.
  for (auto [bar, value] : {std::pair{vscalebar_, e.view.scaleBarPosition},
                            std::pair{voffsetbar_, e.view.offsetBarPosition}}) {
    if (bar->value() == value || bar->isSliderDown()) continue;
    bar->blockSignals(true);
    bar->setValue(value);
    bar->blockSignals(false);
  }
}

void TMainForm::runMacroButton(int slot) {
  if (progressShowing()) {
    ++refusedCommands;
    beep();
    return;
  }
  editor_->runMacroFromKeyOrButton(slot);
  wave_->update();
  scheduleIdle();
}

void TMainForm::FormCreate(bool restorePosition) {
  const StartupResult r = editor_->readSettingsAtStartup();
  if (r.invalidNumbers)
    message(MsgKind::Warning,
            "Initialisation File (VESKOR.INI) contained invalid floating point number formats. "
            "This may be due to a change in the defined number format (eg. switching between "
            "American and French representations). Default values have been substituted.");
  for (size_t i = 0; i < actions_.size(); ++i)
    if (actions_[i])
      actions_[i]->setShortcut(
          QKeySequence(QString::fromStdString(editor_->shortcuts.shortcut(commandTable()[i]))));
  checkSoundCards();
  if (restorePosition) {
    if (r.window.maximised) {
      setWindowState(Qt::WindowMaximized);
    } else {
      resize(r.window.width, r.window.height);
      // A screen that is gone since the last run must not leave the window out of reach.
      move(ui::keepOnScreen(QRect(r.window.left, r.window.top, r.window.width, r.window.height)));
    }
  }
  idlePass();
}

void TMainForm::checkSoundCards() {
  if (!soundCards_) return;
  Editor& e = *editor_;
  Settings& s = e.ctx.settings;
  const std::vector<InputDeviceInfo> recording = soundCards_->recordingDevices();
  const std::vector<OutputDeviceInfo> playback = soundCards_->playbackDevices();
  const std::vector<InputDeviceInfo> suitableRec = cdFormatDevices(recording);
  const std::vector<OutputDeviceInfo> suitablePlay = cdFormatDevices(playback);
  if (soundCardsNeedChoosing(s, recording, playback)) {
    SoundCardChoice choice = SoundCardChoice::fromSettings(s);
    if (suitableRec.size() < 2 && suitablePlay.size() < 2) {
      const OnlyDevices only = takeOnlyDevices(suitableRec, suitablePlay);
      if (only.playback) {
        s.playdevno = only.playback->number;
        s.playdevnm = only.playback->name;
      }
      if (only.recording) {
        s.recdevno = only.recording->number;
        s.recdevnm = only.recording->name;
      }
      s.reclineno = choice.recordLineFor(only.recording);
      if (!only.message.empty()) message(MsgKind::Warning, only.message);
    } else if (interactive_) {
      message(MsgKind::Information, kChooseSoundCardsText);
      ui::DialogEnv env = dialogEnv();
      ui::TPickCards dialog(choice, *soundCards_, true, this, env);
      // Cancel keeps what was there: the question comes again at the next start.
      if (dialog.exec() == QDialog::Accepted) {
        s.recdevno = choice.recdevno;
        s.recdevnm = choice.recdevnm;
        s.playdevno = choice.playdevno;
        s.playdevnm = choice.playdevnm;
        s.reclineno = choice.reclineno;
      }
    }
  }
  e.recordDeviceFound = !suitableRec.empty();
  e.playDeviceFound = !suitablePlay.empty();
}

void TMainForm::openCommandLine(const std::string& path) {
  if (path.empty()) return;
  namespace fs = std::filesystem;
  const std::string ext = upper(fs::path(path).extension().string());
  if (ext == ".MKR" || ext == ".CUE" || ext == ".CLK") {
    const std::string wav = fs::path(path).replace_extension(".wav").string();
    if (!editor_->OpenDocument(wav)) return;
    if (ext == ".MKR") editor_->loadMarkerFile(path);
    if (ext == ".CUE") editor_->readCueSheetFile(path);
    if (ext == ".CLK") editor_->loadClickFile(path);
  } else {
    editor_->OpenDocument(path);
  }
  wave_->update();
  idlePass();
}

void TMainForm::closeEvent(QCloseEvent* e) {
  // Windows still open are written where they stand.
  if (clickResult_ && clickResult_->isVisible()) clickResult_->storePosition();
  if (spectrum_ && spectrum_->isVisible()) spectrum_->storePosition();
  WindowPosition w;
  w.maximised = isMaximized();
  w.top = geometry().top();
  w.left = geometry().left();
  w.height = geometry().height();
  w.width = geometry().width();
  if (progressShowing() || !editor_->FormClose(w)) {
    e->ignore();
    return;
  }
  e->accept();
}

void TMainForm::keyPressEvent(QKeyEvent* e) {
  Editor& ed = *editor_;
  if (!ed.doc || progressShowing()) {
    QMainWindow::keyPressEvent(e);
    return;
  }
  if (ed.ctx.playing) {
    if (!playingKey(e)) QMainWindow::keyPressEvent(e);
    return;
  }
  const bool modified = e->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
  const int key = e->key();
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12 && !ed.ctx.playing) {
    if (ed.macroKeyDown(key - Qt::Key_F1 + 1, e->modifiers() & Qt::ShiftModifier,
                        e->modifiers() & Qt::ControlModifier, e->modifiers() & Qt::AltModifier)) {
      wave_->update();
      scheduleIdle();
      return;
    }
  }
  if (!ed.ctx.playing && !modified) {
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        ed.NextPageBtnClick();
        break;
      case Qt::Key_Escape:
        ed.PrevFragBtnClick();
        break;
      case Qt::Key_Space:
        ed.NextFragBtnClick();
        break;
      case Qt::Key_Plus:
        if (!(e->modifiers() & Qt::KeypadModifier)) return QMainWindow::keyPressEvent(e);
        ed.PrevPageBtnClick();
        break;
      default:
        return QMainWindow::keyPressEvent(e);
    }
    wave_->update();
    scheduleIdle();
    return;
  }
  QMainWindow::keyPressEvent(e);
}

bool TMainForm::playingKey(QKeyEvent* e) {
  const bool modified = e->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
  PlayKey key;
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      key = PlayKey::Enter;
      break;
    case Qt::Key_Plus:
      if (!(e->modifiers() & Qt::KeypadModifier)) return false;
      key = PlayKey::NumpadPlus;
      break;
    case Qt::Key_Escape:
      key = PlayKey::Escape;
      break;
    case Qt::Key_Space:
      key = PlayKey::Space;
      break;
    case Qt::Key_Equal:
      key = PlayKey::Equals;
      break;
    case Qt::Key_Minus:
      key = PlayKey::Minus;
      break;
    default:
      return false;
  }
  if (!editor_->playbackKey(key, modified)) return false;
  showPauseState();
  wave_->update();
  return true;
}

void TMainForm::playingStateChanged(bool playing) {
  if (playing) {
    pollTimer_->start();
  } else {
    pollTimer_->stop();
    PlaybackTimer_->stop();
    wave_->stopPlayCursor();
    wave_->update();
  }
  scheduleIdle();
}

void TMainForm::playCursorStarted(int32_t first, int32_t last) {
  wave_->startPlayCursor(first, last);
  PlaybackTimer_->start();
}

void TMainForm::playCursorStopped() {
  PlaybackTimer_->stop();
  wave_->stopPlayCursor();
}

void TMainForm::previewOpened(const std::string& id) {
  const ui::DialogEnv env = dialogEnv();
  preview_ = ui::createPreviewDialog(id, *editor_, this, env);
  if (preview_) preview_->show();
}

void TMainForm::previewClosed(const std::string&) {
  preview_.reset();
}

void TMainForm::PlaybackTimerTimer() {
  Editor& ed = *editor_;
  if (preview_) preview_->refresh();
  if (!ed.isPlaying() || !ed.doc) return;
  if (ed.playback().paused()) return;  // the cursor stands still while paused
  ed.PlaybackTimerTimer();
  const int32_t at = ed.playPosition();
  timedisplay_->setText(QString::fromStdString(formatTime(ed.ctx, at, ed.doc->cues)));
  wave_->movePlayCursor(at);
}

void TMainForm::cancelbtnClick() {
  editor_->ctx.cancel();
}

// ---- Host ----

void TMainForm::message(MsgKind kind, const std::string& text) {
  if (!interactive_) {
    std::fprintf(stderr, "%s\n", shown(text).toLocal8Bit().constData());
    return;
  }
  const QString t = shown(text);
  if (kind == MsgKind::Error)
    QMessageBox::critical(this, QStringLiteral("Error"), t);
  else if (kind == MsgKind::Warning)
    QMessageBox::warning(this, QStringLiteral("Warning"), t);
  else
    QMessageBox::information(this, QStringLiteral("Information"), t);
}

Answer TMainForm::ask(MsgKind kind, Buttons buttons, const std::string& text) {
  QMessageBox::StandardButtons b = QMessageBox::Yes | QMessageBox::No;
  if (buttons == Buttons::YesNoCancel) b |= QMessageBox::Cancel;
  if (buttons == Buttons::OkCancel) b = QMessageBox::Ok | QMessageBox::Cancel;
  if (!interactive_) return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::No;
  QMessageBox box(kind == MsgKind::Error     ? QMessageBox::Critical
                  : kind == MsgKind::Warning ? QMessageBox::Warning
                                             : QMessageBox::Question,
                  QStringLiteral("Confirm"), shown(text), b, this);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Ok:
      return Answer::Ok;
    default:
      return Answer::Cancel;
  }
}

void TMainForm::progressBegin(const std::string& caption) {
  // Long reads for the picture run before the paint; should one still start inside it,
  // showing the gauge and Cancel would lay the window out again under the open painter.
  if (wave_->isPainting()) return;
  pagesamples_->setText(QString::fromStdString(caption));
  progressbar_->setValue(0);
  progressbar_->show();
  cancelbtn_->show();
}

void TMainForm::progressSet(int percent) {
  if (wave_->isPainting()) return;
  progressbar_->setValue(std::clamp(percent, 0, 100));
}

void TMainForm::progressEnd() {
  // Nested panels (a scan inside a command) keep the outer one showing.
  if (editor_->ctx.progressDepth > 1 || wave_->isPainting()) return;
  progressbar_->hide();
  cancelbtn_->hide();
  clicklabel_->clear();
  wave_->update();
}

void TMainForm::progressDetail(const std::string& text) {
  clicklabel_->setText(QString::fromStdString(text));
}

void TMainForm::pump() {
  // Qt cannot run a paint inside a paint: a read the picture needs runs without a break.
  if (wave_->isPainting()) return;
  QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void TMainForm::setBusyCursor(bool busy) {
  busyDepth_ += busy ? 1 : -1;
  if (busy && busyDepth_ == 1) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!busy && busyDepth_ == 0) QApplication::restoreOverrideCursor();
  busyDepth_ = std::max(busyDepth_, 0);
}

// Where a file dialog opens: the suggested name inside the suggested folder.
static QString startPath(const FileDialogSpec& spec) {
  if (spec.fileName.empty()) return QString::fromStdString(spec.directory);
  return QString::fromStdString(
      (std::filesystem::path(spec.directory) / std::filesystem::path(spec.fileName).filename())
          .string());
}

std::optional<std::string> TMainForm::openFileDialog(const FileDialogSpec& spec) {
  if (!interactive_) return std::nullopt;
  const QString start = startPath(spec);
  const QString f = QFileDialog::getOpenFileName(this, QString::fromStdString(spec.title), start,
                                                 qtFilter(spec.filter));
  if (f.isEmpty()) return std::nullopt;
  return f.toStdString();
}

std::optional<std::string> TMainForm::saveFileDialog(const FileDialogSpec& spec) {
  if (!interactive_) return std::nullopt;
  const QString start = startPath(spec);
  const QString f = QFileDialog::getSaveFileName(this, QString::fromStdString(spec.title), start,
                                                 qtFilter(spec.filter));
  if (f.isEmpty()) return std::nullopt;
  return withDefaultExt(spec, f.toStdString());
}

ui::DialogEnv TMainForm::dialogEnv() {
  ui::DialogEnv env;
  env.showHelp = [this](const std::string& topic) { showHelp(topic); };
  env.positions = &editor_->dialogPositions;
  env.soundCards = soundCards_;
  env.cancelled = [this] { editor_->ctx.abortFlag = true; };
  return env;
}

bool TMainForm::removeFoundClicks() {
  const Command* remove = findHandler("RemoveAllClicks1Click");
  return remove && routeCommand(*remove);
}

bool TMainForm::openLiveWindow(DialogRequest& request, const ui::DialogEnv& env) {
  ui::FormDialog* window = nullptr;
  // A new result takes the place of the old one, where the user put it.
  for (ui::FormDialog* old : {static_cast<ui::FormDialog*>(clickResult_.get()), spectrum_.get()})
    if (old && old->isVisible()) old->storePosition();
  auto* const* result = std::get_if<FindClicksResultModel*>(&request.model);
  auto* const* spectrum = std::get_if<SpectrumModel*>(&request.model);
  if (request.id == kFindClicksResultDialogId && result && *result) {
    const auto& m = **result;
    clickResult_ = std::make_unique<ui::FindClicksResultWindow>(
        m.count, [this] { return removeFoundClicks(); }, this, env);
    window = clickResult_.get();
  } else if (request.id == kFrequencyAnalysisDialogId && spectrum && *spectrum) {
    spectrum_ = ui::makeFrequencyAnalysisWindow(**spectrum, this, env);
    window = spectrum_.get();
  }
  if (!window) return false;
  window->rememberPosition(*env.positions, ui::dialogPositionKey(request.id));
  window->show();
  window->raise();
  scheduleIdle();
  return true;
}

bool TMainForm::runDialog(DialogRequest& request) {
  if (interactive_) {
    const ui::DialogEnv env = dialogEnv();
    if (openLiveWindow(request, env)) return true;
    if (ui::createDialog(request, this, env)) return ui::runDialog(request, this, env);
  }
  message(MsgKind::Information, "The \"" + request.id + "\" dialog is not built yet.");
  return false;
}

void TMainForm::requestRepaint(const Repaint& what) {
  if (editor_->ctx.macroRunning) return;  // the macro runner repaints at its refresh points
  wave_->refresh(what);
}

void TMainForm::setTitle(const std::string& title) {
  setWindowTitle(QString::fromStdString(title));
}

void TMainForm::refreshCommands() {
  // The Options dialog may have changed the menu shortcuts.
  for (size_t i = 0; i < actions_.size(); ++i)
    if (actions_[i])
      actions_[i]->setShortcut(
          QKeySequence(QString::fromStdString(editor_->shortcuts.shortcut(commandTable()[i]))));
  scheduleIdle();
}

bool TMainForm::clipboardHasWave() {
  const QMimeData* m = QApplication::clipboard()->mimeData();
  return m &&
         (m->hasFormat(QStringLiteral("audio/wav")) || m->hasFormat(QStringLiteral("audio/x-wav")));
}

std::optional<std::vector<uint8_t>> TMainForm::clipboardWave() {
  const QMimeData* m = QApplication::clipboard()->mimeData();
  if (!m) return std::nullopt;
  QByteArray b = m->data(QStringLiteral("audio/wav"));
  if (b.isEmpty()) b = m->data(QStringLiteral("audio/x-wav"));
  if (b.isEmpty()) return std::nullopt;
  return std::vector<uint8_t>(b.begin(), b.end());
}

bool TMainForm::setClipboardWave(const std::vector<uint8_t>& image) {
  auto* m = new QMimeData;
  const QByteArray b(reinterpret_cast<const char*>(image.data()),
                     static_cast<qsizetype>(image.size()));
  m->setData(QStringLiteral("audio/wav"), b);
  m->setData(QStringLiteral("audio/x-wav"), b);
  QApplication::clipboard()->setMimeData(m);
  return true;
}

void TMainForm::setClipboardText(const std::string& text) {
  QApplication::clipboard()->setText(QString::fromStdString(text));
}

void TMainForm::showHelp(const std::string& topic) {
  if (!help_) help_ = new ui::HelpWindow(ui::defaultHelpDirectory(), this);
  help_->showTopic(topic);
  help_->show();
  help_->raise();
}

void TMainForm::beep() {
  QApplication::beep();
}

}  // namespace tolmar
