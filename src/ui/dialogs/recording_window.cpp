#include "ui/dialogs/recording_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "editor/recording.h"
#include "ui/dialogs/mixer_failure_dialog.h"

namespace tolmar::ui {

namespace {

constexpr int kLedWidth = 22;
constexpr int kLedHeight = 9;
constexpr int kLedGap = 3;
constexpr int kLeds = static_cast<int>(kMeterThresholds.size());

// The top three LEDs (-2 dB and up) are red, the four below them (-12 to -3 dB) yellow.
QColor ledColour(int index, bool lit) {
  const QColor c = index >= kLeds - 3   ? QColor(230, 30, 30)
                   : index >= kLeds - 7 ? QColor(235, 200, 20)
                                        : QColor(40, 200, 60);
  return lit ? c : c.darker(350);
}

QString qs(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

MeterPanel::MeterPanel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MeterPanel::sizeHint() const {
  // The clip light and a gap above the LEDs.
  return {kLedWidth + 4, (kLeds + 2) * (kLedHeight + kLedGap) + 4};
}

void MeterPanel::show(int ledsLit, bool clip) {
  if (ledsLit == lit_ && clip == clip_) return;
  lit_ = ledsLit;
  clip_ = clip;
  update();
}

void MeterPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(24, 24, 24));
  p.setPen(Qt::NoPen);
  const int x = 2;
  for (int i = 0; i < kLeds; ++i) {
    const int y = height() - 2 - (i + 1) * (kLedHeight + kLedGap) + kLedGap;
    p.setBrush(ledColour(i, i < lit_));
    p.drawRect(x, y, kLedWidth, kLedHeight);
  }
  p.setBrush(clip_ ? QColor(255, 40, 40) : QColor(70, 20, 20));
  p.drawRoundedRect(x, 2, kLedWidth, kLedHeight + 2, 3, 3);
}

RecordingWindow::RecordingWindow(TRecording& model, QWidget* parent, const DialogEnv& env)
    : FormDialog("Record New WAV File", parent, env), m_(model), env_(env) {
  setObjectName("TRecording");
  auto* top = new QGridLayout;
  outer()->insertLayout(0, top);

  auto* menus = new QMenuBar(this);
  QMenu* mixerMenu = menus->addMenu("&Mixer");
  statusAction_ = mixerMenu->addAction("Display Mixer Status");
  statusAction_->setObjectName("SummaryMixerInfo1");
  traceAction_ = mixerMenu->addAction("Display Mixer Trace");
  traceAction_->setObjectName("ShowMixerTrace1");
  QAction* report = mixerMenu->addAction("Write Mixer Report...");
  report->setObjectName("FullMixerInfo1");
  outer()->setMenuBar(menus);
  connect(statusAction_, &QAction::triggered, this,
          [this] { showMixerLines("Mixer Status", m_.SummaryMixerInfo1Click()); });
  connect(traceAction_, &QAction::triggered, this,
          [this] { showMixerLines("Mixer Trace", m_.ShowMixerTrace1Click()); });
  connect(report, &QAction::triggered, this, [this] { writeFullReport(); });

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel("recording to file:", this));
  fileLabel_ = new QLabel(this);
  fileLabel_->setObjectName("filename");
  fileLabel_->setMinimumWidth(260);
  fileRow->addWidget(fileLabel_, 1);
  top->addLayout(fileRow, 0, 0, 1, 3);

  // The meters: left and right, each with its peak label under it.
  auto* meterBox = new QGridLayout;
  for (int ch = 0; ch < 2; ++ch) {
    auto* name = new QLabel(ch == 0 ? "L" : "R", this);
    name->setAlignment(Qt::AlignHCenter);
    meterBox->addWidget(name, 0, ch, Qt::AlignHCenter);
    meters_[static_cast<size_t>(ch)] = new MeterPanel(this);
    meters_[static_cast<size_t>(ch)]->setObjectName(ch == 0 ? "lmeter" : "rmeter");
    meterBox->addWidget(meters_[static_cast<size_t>(ch)], 1, ch, Qt::AlignHCenter);
    peaks_[static_cast<size_t>(ch)] = new QLabel(this);
    peaks_[static_cast<size_t>(ch)]->setObjectName(ch == 0 ? "lpeak" : "rpeak");
    peaks_[static_cast<size_t>(ch)]->setAlignment(Qt::AlignHCenter);
    peaks_[static_cast<size_t>(ch)]->setMinimumWidth(64);
    meterBox->addWidget(peaks_[static_cast<size_t>(ch)], 2, ch, Qt::AlignHCenter);
  }
  top->addLayout(meterBox, 1, 0, 2, 1);

  // The counter and the buttons.
  auto* middle = new QVBoxLayout;
  largetimer_ = new QLabel(this);
  largetimer_->setObjectName("largetimer");
  QFont big = largetimer_->font();
  big.setPointSizeF(big.pointSizeF() * 2.4);
  big.setBold(true);
  largetimer_->setFont(big);
  largetimer_->setAlignment(Qt::AlignCenter);
  largetimer_->setMinimumWidth(QFontMetrics(big).horizontalAdvance("000:00") + 16);
  middle->addWidget(largetimer_);
  auto* buttons = new QGridLayout;
  start_ = button("startbtn", "Monitor");
  stop_ = button("stopbtn", "Stop");
  cancel_ = button("cancelbtn", "Cancel");
  reset_ = button("reset", "PEAK");
  track_ = button("trackbtn", "Track");
  minimise_ = button("Button1", "_");
  buttons->addWidget(start_, 0, 0);
  buttons->addWidget(stop_, 0, 1);
  buttons->addWidget(cancel_, 0, 2);
  buttons->addWidget(reset_, 1, 0);
  buttons->addWidget(track_, 1, 1);
  buttons->addWidget(minimise_, 1, 2);
  middle->addLayout(buttons);
  middle->addStretch(1);
  top->addLayout(middle, 1, 1, 2, 1);

  // The limit and rate groups, the switches and the timer button.
  auto* right = new QVBoxLayout;
  limitgroup_ = new QGroupBox("Recording Time Limit", this);
  limitgroup_->setObjectName("limitgroup");
  auto* limitLayout = new QGridLayout(limitgroup_);
  limitChoice_ = new QButtonGroup(this);
  auto* maxButton = new QRadioButton("max (4GB)", limitgroup_);
  auto* minutesButton = new QRadioButton("minutes:", limitgroup_);
  limitChoice_->addButton(maxButton, 0);
  limitChoice_->addButton(minutesButton, 1);
  minlimit_ = new QSpinBox(limitgroup_);
  minlimit_->setObjectName("minlimit");
  minlimit_->setRange(1, 400);
  limitLayout->addWidget(maxButton, 0, 0, 1, 2);
  limitLayout->addWidget(minutesButton, 1, 0);
  limitLayout->addWidget(minlimit_, 1, 1);
  right->addWidget(limitgroup_);

  rategroup_ = new QGroupBox("Sample Rate", this);
  rategroup_->setObjectName("rategroup");
  auto* rateLayout = new QVBoxLayout(rategroup_);
  rateChoice_ = new QButtonGroup(this);
  auto* r44 = new QRadioButton("44.1 kHz", rategroup_);
  auto* r48 = new QRadioButton("48.0 kHz", rategroup_);
  rateChoice_->addButton(r44, 0);
  rateChoice_->addButton(r48, 1);
  rateLayout->addWidget(r44);
  rateLayout->addWidget(r48);
  right->addWidget(rategroup_);

  metersOff_ = new QCheckBox("Meters Off", this);
  counterOff_ = new QCheckBox("Counter Off", this);
  right->addWidget(metersOff_);
  right->addWidget(counterOff_);
  timerdelay_ = button("timerdelaybtn", "Timer Delayed Recording...");
  right->addWidget(timerdelay_);
  right->addStretch(1);
  top->addLayout(right, 1, 2, 2, 1);
  top->addWidget(makeLevelControls(), 1, 3, 2, 1);

  // The timer-delayed panel, shown once "Timer Delayed Recording..." is pressed.
  timerPanel_ = new QGroupBox("Timer Delayed Recording", this);
  timerPanel_->setObjectName("timerpanel");
  auto* tp = new QGridLayout(timerPanel_);
  dtnow_ = new QLabel(timerPanel_);
  dtnow_->setObjectName("dtnow");
  dtstart_ = new QLabel(timerPanel_);
  dtstart_->setObjectName("dtstart");
  const int dateWidth = dtnow_->fontMetrics().horizontalAdvance("0000-00-00 00:00:00") + 8;
  dtnow_->setMinimumWidth(dateWidth);
  dtstart_->setMinimumWidth(dateWidth);
  tp->addWidget(new QLabel("Current time:", timerPanel_), 0, 0);
  tp->addWidget(dtnow_, 0, 1);
  tp->addWidget(new QLabel("Start recording at:", timerPanel_), 1, 0);
  tp->addWidget(dtstart_, 1, 1);
  const char* stepNames[4] = {"UpDown1", "UpDown2", "UpDown3", "UpDown4"};
  const char* stepUnits[4] = {"min", "hour", "min", "hour"};
  for (int i = 0; i < 4; ++i) {
    for (int dir = 0; dir < 2; ++dir) {
      const bool up = dir == 0;
      auto* b = new QPushButton(QString("%1 %2").arg(up ? "+" : "-", stepUnits[i]), timerPanel_);
      b->setObjectName(QString("%1%2").arg(stepNames[i], up ? "Up" : "Down"));
      b->setAutoDefault(false);
      tp->addWidget(b, i / 2, 2 + (i % 2) * 2 + dir);
      upDowns_[static_cast<size_t>(i * 2 + dir)] = b;
      connect(b, &QPushButton::clicked, this, [this, i, up] {
        call([&] {
          switch (i) {
            case 0:
              m_.UpDown1Click(up);
              break;
            case 1:
              m_.UpDown2Click(up);
              break;
            case 2:
              m_.UpDown3Click(up);
              break;
            default:
              m_.UpDown4Click(up);
              break;
          }
          m_.Timer1Timer();
        });
      });
    }
  }
  timedrec_ = new QPushButton("Start", timerPanel_);
  timedrec_->setObjectName("timedrecbtn");
  timedrec_->setAutoDefault(false);
  tp->addWidget(timedrec_, 0, 6, 2, 1);
  outer()->insertWidget(1, timerPanel_);

  connect(start_, &QPushButton::clicked, this, [this] { call([&] { m_.startbtnClick(); }); });
  connect(stop_, &QPushButton::clicked, this, [this] { call([&] { m_.stopbtnClick(); }); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(reset_, &QPushButton::clicked, this, [this] { call([&] { m_.resetClick(); }); });
  connect(track_, &QPushButton::clicked, this, [this] { call([&] { m_.trackbtnClick(); }); });
  connect(minimise_, &QPushButton::clicked, this, [this] {
    call([&] { m_.Button1Click(); });
    if (QWidget* main = parentWidget() ? parentWidget()->window() : nullptr) main->showMinimized();
    showMinimized();
  });
  connect(timerdelay_, &QPushButton::clicked, this,
          [this] { call([&] { m_.timerdelaybtnClick(); }); });
  connect(timedrec_, &QPushButton::clicked, this, [this] { call([&] { m_.timedrecbtnClick(); }); });
  connect(limitChoice_, &QButtonGroup::idClicked, this,
          [this](int id) { call([&] { m_.limitChoiceClick(id == 0); }); });
  connect(minlimit_, &QSpinBox::valueChanged, this,
          [this](int v) { call([&] { m_.minlimitChange(v); }); });
  connect(rateChoice_, &QButtonGroup::idClicked, this,
          [this](int id) { call([&] { m_.rategroupClick(id); }); });
  connect(metersOff_, &QCheckBox::toggled, this, [this](bool on) { m_.metersOff = on; });
  connect(counterOff_, &QCheckBox::toggled, this, [this](bool on) { m_.counterOff = on; });
  // Space places a marker while recording, whichever control has the focus.
  auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
  connect(space, &QShortcut::activated, this, [this] { call([&] { m_.spaceKeyDown(); }); });

  timer_ = new QTimer(this);
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, [this] { tick(); });
  timer_->start();

  minlimit_->setValue(m_.limitMinutes);
  sync();
  start_->setFocus();
}

RecordingWindow::~RecordingWindow() = default;

QWidget* RecordingWindow::makeLevelControls() {
  auto* box = new QGroupBox("Input && Level", this);
  box->setObjectName("levelcontrols");
  levelBox_ = box;
  auto* grid = new QGridLayout(box);
  input_ = new QComboBox(box);
  input_->setObjectName("input");
  input_->setMinimumWidth(120);
  grid->addWidget(input_, 0, 0, 1, 3);
  const auto bar = [box](const char* name) {
    auto* s = new QSlider(Qt::Vertical, box);
    s->setObjectName(name);
    // The positions are the negated levels: the loudest, the lowest position, goes on top.
    s->setInvertedAppearance(true);
    s->setInvertedControls(true);
    s->setRange(-65535, 0);
    s->setPageStep(4096);
    s->setMinimumHeight(150);
    return s;
  };
  const auto column = [box, grid](const QString& label, QSlider* s, int col) {
    auto* w = new QWidget(box);
    auto* v = new QVBoxLayout(w);
    v->setContentsMargins(0, 0, 0, 0);
    auto* l = new QLabel(label, w);
    l->setAlignment(Qt::AlignHCenter);
    v->addWidget(l);
    v->addWidget(s, 1, Qt::AlignHCenter);
    grid->addWidget(w, 1, col);
    return w;
  };
  lvolume_ = bar("lvolume");
  rvolume_ = bar("rvolume");
  mastervolume_ = bar("mastervolume");
  column("L", lvolume_, 0);
  rightColumn_ = column("R", rvolume_, 1);
  masterColumn_ = column("Master", mastervolume_, 2);
  enablePan_ = new QCheckBox("enable pan", box);
  enablePan_->setObjectName("enablepan");
  grid->addWidget(enablePan_, 2, 0, 1, 3);

  connect(input_, &QComboBox::activated, this,
          [this](int index) { call([&] { m_.inputChange(index); }); });
  connect(lvolume_, &QSlider::valueChanged, this,
          [this](int v) { call([&] { m_.lvolumeChange(v); }); });
  connect(rvolume_, &QSlider::valueChanged, this,
          [this](int v) { call([&] { m_.rvolumeChange(v); }); });
  connect(mastervolume_, &QSlider::valueChanged, this,
          [this](int v) { call([&] { m_.mastervolumeChange(v); }); });
  connect(enablePan_, &QCheckBox::toggled, this, [this](bool on) { m_.enablePan = on; });
  return box;
}

void RecordingWindow::showEvent(QShowEvent* event) {
  FormDialog::showEvent(event);
  // Over the window, once it shows: the user sees what goes on without the level controls.
  if (m_.mixerFailurePending && !failureAsked_) {
    failureAsked_ = true;
    QTimer::singleShot(0, this, [this] { showMixerFailure(); });
  }
}

void RecordingWindow::showMixerFailure() {
  MixerFailureDialog d(m_, this, env_);
  d.exec();
  sync();
}

void RecordingWindow::showMixerLines(const QString& title, const std::vector<std::string>& lines) {
  QDialog d(this);
  d.setObjectName("mixerinfo");
  d.setWindowTitle(title);
  auto* v = new QVBoxLayout(&d);
  auto* list = new QListWidget(&d);
  list->setObjectName("lines");
  for (const std::string& l : lines) list->addItem(qs(l));
  QFont fixed = list->font();
  fixed.setFamily("DejaVu Sans Mono");
  fixed.setStyleHint(QFont::Monospace);
  list->setFont(fixed);
  list->setMinimumSize(480, 320);
  v->addWidget(list);
  auto* ok = new QPushButton("OK", &d);
  connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
  v->addWidget(ok, 0, Qt::AlignRight);
  mixerInfo_ = &d;
  d.exec();
  mixerInfo_ = nullptr;
}

void RecordingWindow::writeFullReport() {
  const QString path = QFileDialog::getSaveFileName(this, "Write Mixer Report",
                                                    QString::fromStdString(kMixerReportName),
                                                    "Text Files (*.txt);;All Files (*)");
  if (path.isEmpty()) return;
  call([&] { m_.FullMixerInfo1Click(path.toStdString()); });
}

QPushButton* RecordingWindow::button(const char* name, const QString& text) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

template <class F>
void RecordingWindow::call(F f) {
  if (inCall_ || finished_) return;
  inCall_ = true;
  f();
  inCall_ = false;
  sync();
  finishIfClosed();
}

void RecordingWindow::tick() {
  if (inCall_ || finished_) return;
  ++ticks_;
  call([&] { m_.tick(); });
}

void RecordingWindow::reject() {
  if (inCall_) return;
  if (!m_.closed()) {
    inCall_ = true;
    m_.cancelbtnClick();
    inCall_ = false;
  }
  finishIfClosed();
}

void RecordingWindow::closeEvent(QCloseEvent* event) {
  // The close box is Cancel: the input stops before the window goes.
  event->ignore();
  reject();
}

void RecordingWindow::finishIfClosed() {
  if (finished_ || !m_.closed()) return;
  finished_ = true;
  timer_->stop();
  FormDialog::done(QDialog::Rejected);
}

void RecordingWindow::sync() {
  const auto showButton = [](QPushButton* b, const RecordingControl& c) {
    b->setText(qs(c.caption));
    b->setToolTip(qs(c.hint));
    b->setEnabled(c.enabled);
  };
  showButton(start_, m_.startbtn);
  showButton(stop_, m_.stopbtn);
  showButton(cancel_, m_.cancelbtn);
  showButton(reset_, m_.resetbtn);
  showButton(track_, m_.trackbtn);
  showButton(timerdelay_, m_.timerdelaybtn);
  showButton(timedrec_, m_.timedrecbtn);

  const QString file = qs(m_.fileLabel);
  fileLabel_->setText(fileLabel_->fontMetrics().elidedText(file, Qt::ElideMiddle,
                                                           std::max(fileLabel_->width(), 260)));
  fileLabel_->setToolTip(file);
  largetimer_->setText(m_.largetimer.empty() ? QString("00:00") : qs(m_.largetimer));
  for (size_t ch = 0; ch < 2; ++ch) {
    meters_[ch]->show(m_.meters[ch].ledsLit, m_.meters[ch].clipLed);
    peaks_[ch]->setText(qs(m_.meters[ch].peakLabel));
  }

  limitgroup_->setEnabled(m_.limitgroupEnabled);
  rategroup_->setEnabled(m_.rategroupEnabled);
  if (QAbstractButton* b = limitChoice_->button(m_.maxLimit ? 0 : 1)) b->setChecked(true);
  minlimit_->setEnabled(!m_.maxLimit);
  if (QAbstractButton* b = rateChoice_->button(m_.rateIndex)) b->setChecked(true);
  {
    const QSignalBlocker a(metersOff_), b(counterOff_);
    metersOff_->setChecked(m_.metersOff);
    counterOff_->setChecked(m_.counterOff);
  }

  // The input and level controls: only over a valid mixer, and not once recording stopped.
  const bool levels = m_.mixerValid() && !m_.narrowLayout;
  if (levelBox_->isVisible() != levels && isVisible())
    QTimer::singleShot(0, this, [this] { adjustSize(); });
  levelBox_->setVisible(levels);
  if (m_.mixerValid()) {
    const QSignalBlocker a(input_), b(lvolume_), c(rvolume_), d(mastervolume_), e(enablePan_);
    if (input_->count() != static_cast<int>(m_.inputItems.size())) {
      input_->clear();
      for (const std::string& item : m_.inputItems) input_->addItem(qs(item));
    }
    input_->setCurrentIndex(m_.inputIndex);
    for (QSlider* bar : {lvolume_, rvolume_}) bar->setRange(m_.volumeMin, m_.volumeMax);
    lvolume_->setValue(m_.lvolume);
    rvolume_->setValue(m_.rvolume);
    mastervolume_->setValue(m_.mastervolume);
    rightColumn_->setVisible(m_.rightShown);
    enablePan_->setVisible(m_.rightShown);
    enablePan_->setChecked(m_.enablePan);
    masterColumn_->setVisible(m_.masterShown);
  }
  statusAction_->setEnabled(m_.mixer() != nullptr);
  traceAction_->setEnabled(m_.mixer() != nullptr);

  timerPanel_->setVisible(m_.expanded);
  dtnow_->setText(qs(m_.dtnow));
  dtstart_->setText(qs(m_.dtstart));
  for (QPushButton* b : upDowns_) b->setEnabled(m_.upDownsEnabled);
}

std::unique_ptr<FormDialog> makeRecordingWindow(TRecording& model, QWidget* parent,
                                                const DialogEnv& env) {
  return std::make_unique<RecordingWindow>(model, parent, env);
}

}  // namespace tolmar::ui
