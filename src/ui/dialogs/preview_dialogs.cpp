#include "ui/dialogs/preview_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "config/declick_params.h"
#include "dsp/effect_controls.h"
#include "dsp/noise_reduction.h"
#include "editor/editor.h"

namespace tolmar::ui {

namespace {

QString oneDecimal(double v) {
  return QString::number(v, 'f', 1);
}

// Steps in tenths are kept on the grid of tenths, not left to add up binary fractions.
double stepped(double value, double step, double low, double high) {
  return std::clamp(std::round((value + step) * 10.0) / 10.0, low, high);
}

QToolButton* arrow(Qt::ArrowType type, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setArrowType(type);
  b->setAutoRepeat(true);
  return b;
}

}  // namespace

PreviewDialog::PreviewDialog(Editor& editor, const QString& caption, std::string helpTopic,
                             QWidget* parent, DialogEnv env, int slot)
    : QDialog(parent),
      ed_(editor),
      env_(std::move(env)),
      helpTopic_(std::move(helpTopic)),
      slot_(slot) {
  setWindowTitle(caption);
  setModal(false);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* outer = new QVBoxLayout(this);
  grid_ = new QGridLayout;
  outer->addLayout(grid_);

  auto* flags = new QHBoxLayout;
  bypass_ = new QCheckBox(QStringLiteral("By-Pass"), this);
  context_ = new QCheckBox(QStringLiteral("Include Context"), this);
  clip_ = new QPushButton(QStringLiteral("Clip"), this);
  flags->addWidget(bypass_);
  flags->addWidget(context_);
  flags->addStretch(1);
  flags->addWidget(clip_);
  outer->addLayout(flags);

  auto* buttons = new QHBoxLayout;
  auto* restart = new QPushButton(QStringLiteral("Restart"), this);
  auto* stop = new QPushButton(QStringLiteral("Stop"), this);
  auto* help = new QPushButton(QStringLiteral("Help"), this);
  buttons->addStretch(1);
  buttons->addWidget(restart);
  buttons->addWidget(stop);
  buttons->addWidget(help);
  outer->addLayout(buttons);

  // Off whenever the dialog opens, so the first thing heard is the effect.
  ed_.preview.bypass = false;
  context_->setChecked(ed_.preview.includeContext);
  connect(bypass_, &QCheckBox::toggled, this, [this](bool on) { ed_.preview.bypass = on; });
  // The range played changes, so the pass starts again over the new one.
  connect(context_, &QCheckBox::toggled, this, [this](bool on) {
    ed_.preview.includeContext = on;
    ed_.RestartPlayback();
  });
  connect(clip_, &QPushButton::clicked, this, [this] {
    ed_.preview.clipped = false;
    updateClip();
  });
  connect(restart, &QPushButton::clicked, this, [this] { ed_.RestartPlayback(); });
  connect(stop, &QPushButton::clicked, this, [this] { ed_.StopPlayBtnClick(); });
  connect(help, &QPushButton::clicked, this, [this] {
    if (env_.showHelp) env_.showHelp(helpTopic_);
  });
  updateClip();
}

PreviewDialog::~PreviewDialog() {
  if (slot_ < 0 || !placed_) return;
  auto& at = ed_.ctx.settings.dialogpos;
  at[static_cast<size_t>(2 * slot_)] = pos().x();
  at[static_cast<size_t>(2 * slot_ + 1)] = pos().y();
}

void PreviewDialog::showEvent(QShowEvent* event) {
  if (!placed_ && slot_ >= 0) {
    const auto& at = ed_.ctx.settings.dialogpos;
    const int x = at[static_cast<size_t>(2 * slot_)], y = at[static_cast<size_t>(2 * slot_ + 1)];
    if (x != -1 && y != -1) move(keepOnScreen(QRect(QPoint(x, y), frameGeometry().size())));
  }
  placed_ = true;
  QDialog::showEvent(event);
}

QLineEdit* PreviewDialog::addStepper(const QString& label, double small, double large,
                                     std::function<QString(double)> step) {
  auto* edit = new QLineEdit(this);
  edit->setReadOnly(true);
  edit->setText(step(0.0));
  auto* row = new QHBoxLayout;
  row->addWidget(edit);
  const auto add = [&](double by) {
    auto* pair = new QVBoxLayout;
    pair->setSpacing(0);
    QToolButton* up = arrow(Qt::UpArrow, this);
    QToolButton* down = arrow(Qt::DownArrow, this);
    connect(up, &QToolButton::clicked, this, [edit, step, by] { edit->setText(step(by)); });
    connect(down, &QToolButton::clicked, this, [edit, step, by] { edit->setText(step(-by)); });
    pair->addWidget(up);
    pair->addWidget(down);
    row->addLayout(pair);
  };
  add(small);
  if (large > 0) add(large);
  grid_->addWidget(new QLabel(label, this), rows_, 0);
  grid_->addLayout(row, rows_, 1);
  ++rows_;
  return edit;
}

void PreviewDialog::addWide(QWidget* w) {
  grid_->addWidget(w, rows_++, 0, 1, 2);
}

void PreviewDialog::hideClip() {
  clip_->hide();
}

void PreviewDialog::updateClip() {
  clipShown_ = ed_.preview.clipped ? kClipRed : kClipGreen;
  const QColor c(static_cast<int>(clipShown_ & 0xFF), static_cast<int>((clipShown_ >> 8) & 0xFF),
                 static_cast<int>((clipShown_ >> 16) & 0xFF));
  clip_->setStyleSheet(QStringLiteral("background-color: %1").arg(c.name()));
}

void PreviewDialog::refresh() {
  updateClip();
}

namespace {

// Amplify/Compress Preview.
class TCompPreview : public PreviewDialog {
 public:
  TCompPreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Amplify/Compress Preview"), "ampcomppreview", parent, env,
                      1) {
    Settings& s = ed().ctx.settings;
    left_ = addStepper(QStringLiteral("Left Gain (dB):"), 0.1, 1.0, [this, &s](double by) {
      s.amplifyfactorl = stepped(s.amplifyfactorl, by, -50.0, 50.0);
      if (s.ampequal && by != 0.0) {
        s.amplifyfactorr = s.amplifyfactorl;
        if (right_) right_->setText(oneDecimal(s.amplifyfactorr));
      }
      return oneDecimal(s.amplifyfactorl);
    });
    right_ = addStepper(QStringLiteral("Right Gain (dB):"), 0.1, 1.0, [this, &s](double by) {
      s.amplifyfactorr = stepped(s.amplifyfactorr, by, -50.0, 50.0);
      if (s.ampequal && by != 0.0) {
        s.amplifyfactorl = s.amplifyfactorr;
        if (left_) left_->setText(oneDecimal(s.amplifyfactorl));
      }
      return oneDecimal(s.amplifyfactorr);
    });
    auto* equal = new QCheckBox(QStringLiteral("Amplify Both Channels Equally"), this);
    equal->setChecked(s.ampequal);
    connect(equal, &QCheckBox::toggled, this, [this, &s](bool on) {
      s.ampequal = on;
      if (on) {
        s.amplifyfactorr = s.amplifyfactorl;
        right_->setText(oneDecimal(s.amplifyfactorr));
      }
    });
    addWide(equal);
    const auto seconds = [](int& v) {
      return [&v](double by) {
        v = std::clamp(v + static_cast<int>(by), 0, 120);
        return QString::number(v);
      };
    };
    addStepper(QStringLiteral("Start Fade (s):"), 1, 10, seconds(s.ampfadestartsecs));
    addStepper(QStringLiteral("End Fade (s):"), 1, 10, seconds(s.ampfadeendsecs));
    // The lower arrow raises X, which lowers the threshold.
    addStepper(QStringLiteral("Threshold (dB):"), 0.5, 0, [&s](double by) {
      s.compressthresh = std::clamp(s.compressthresh - by, 3.0, 12.0);
      return "-" + oneDecimal(s.compressthresh);
    });
    addStepper(QStringLiteral("Factor:"), 0.1, 0, [&s](double by) {
      s.compressfactor = stepped(s.compressfactor, by, 1.0, 6.0);
      return oneDecimal(s.compressfactor) + ":1";
    });
  }

 private:
  QLineEdit* left_ = nullptr;
  QLineEdit* right_ = nullptr;
};

// The presets box of the equaliser and channel-mix previews: the family's names sorted, a
// click applies one, and every change is written to VESKOR.INI at once.
template <class List>
class PresetBox {
 public:
  using Preset = typename List::Preset;
  PresetBox(PreviewDialog& dialog, Editor& e, List& list, QString question,
            std::function<void(const Preset&)> apply, std::function<Preset()> current)
      : e_(e), list_(list) {
    auto* box = new QGroupBox(QStringLiteral("Presets"), &dialog);
    auto* column = new QVBoxLayout(box);
    names_ = new QListWidget(box);
    column->addWidget(names_);
    auto* add = new QPushButton(QStringLiteral("Add New Preset"), box);
    auto* del = new QPushButton(QStringLiteral("Delete Current Preset"), box);
    auto* factory = new QPushButton(QStringLiteral("Install/Restore Factory Default Presets"), box);
    column->addWidget(add);
    column->addWidget(del);
    column->addWidget(factory);
    widget = box;
    fill();
    QObject::connect(names_, &QListWidget::itemClicked, &dialog,
                     [this, apply](QListWidgetItem* it) {
                       if (const Preset* p = list_.get(it->text().toStdString())) apply(*p);
                     });
    QObject::connect(add, &QPushButton::clicked, &dialog, [this, &dialog, question, current] {
      bool ok = false;
      const QString name = QInputDialog::getText(&dialog, dialog.windowTitle(), question,
                                                 QLineEdit::Normal, QString(), &ok);
      if (!ok || name.trimmed().isEmpty()) return;
      Preset p = current();
      p.name = name.toStdString();
      if (list_.add(e_.ctx, p)) save();
    });
    QObject::connect(del, &QPushButton::clicked, &dialog, [this] {
      QListWidgetItem* it = names_->currentItem();
      if (it && list_.del(it->text().toStdString())) save();
    });
    QObject::connect(factory, &QPushButton::clicked, &dialog, [this] {
      list_.setDefault(e_.ctx, e_.iniFile);
      save();
    });
  }
  QGroupBox* widget = nullptr;

 private:
  void fill() {
    std::vector<std::string> names = list_.names();
    std::sort(names.begin(), names.end());
    names_->clear();
    for (const std::string& n : names) names_->addItem(QString::fromStdString(n));
  }
  void save() {
    list_.write(e_.iniFile);
    std::string error;
    if (!e_.iniFile.path().empty() && !e_.iniFile.save(&error)) e_.ctx.error(error);
    fill();
  }

  Editor& e_;
  List& list_;
  QListWidget* names_ = nullptr;
};

// Equalise Preview.
class TEqualisePreview : public PreviewDialog {
 public:
  TEqualisePreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Equalise Preview"), "equalisepreview", parent, env, 2),
        presets_(
            *this, e, e.presets.eq, QStringLiteral("Name for new equalisation preset:"),
            [this](const EQPreset& p) { apply(p); },
            [this] { return equaliser_controls::presetFrom(ed().ctx.settings.equalise, ""); }) {
    Settings::Equalise& eq = ed().ctx.settings.equalise;
    auto* bands = new QWidget(this);
    auto* row = new QGridLayout(bands);
    static const char* const kLabels[10] = {"31", "62", "125", "250", "500",
                                            "1k", "2k", "4k",  "8k",  "16k"};
    for (int i = 0; i < 10; ++i) {
      auto* bar = new QScrollBar(Qt::Vertical, bands);
      bar->setRange(-120, 120);
      bar->setSingleStep(5);
      bar->setPageStep(30);
      bar->setMinimumHeight(160);
      auto* value = new QLabel(bands);
      const auto show = [value](double db) {
        value->setText((db > 0 ? "+" : "") + QString::number(db, 'f', 1));
      };
      // Placed before it is connected: opening the dialog changes no setting.
      bar->setValue(static_cast<int>(-std::lround(eq.dbgain[static_cast<size_t>(i)] * 10)));
      show(eq.dbgain[static_cast<size_t>(i)]);
      connect(bar, &QScrollBar::valueChanged, this, [&eq, i, show](int pos) {
        const double db = -pos / 10.0;
        eq.dbgain[static_cast<size_t>(i)] = db;
        eq.gain[static_cast<size_t>(i)] = std::pow(1.1225, db);
        show(db);
      });
      row->addWidget(new QLabel(QString::fromLatin1(kLabels[i]), bands), 0, i, Qt::AlignHCenter);
      row->addWidget(bar, 1, i, Qt::AlignHCenter);
      row->addWidget(value, 2, i, Qt::AlignHCenter);
      bars_[static_cast<size_t>(i)] = bar;
    }
    auto* overall = new QScrollBar(Qt::Vertical, bands);
    overall->setRange(0, 100);
    overall->setMinimumHeight(160);
    auto* overallValue = new QLabel(bands);
    overall->setValue(100 - static_cast<int>(std::lround(eq.overallgain * 100)));
    overallValue->setText(QString::number(eq.overallgain, 'f', 2));
    connect(overall, &QScrollBar::valueChanged, this, [&eq, overallValue](int pos) {
      eq.overallgain = (100 - pos) * 0.01;
      overallValue->setText(QString::number(eq.overallgain, 'f', 2));
    });
    auto* overallLabel = new QLabel(QStringLiteral("Overall\nGain"), bands);
    overallLabel->setAlignment(Qt::AlignHCenter);
    row->addWidget(overallLabel, 0, 10, Qt::AlignHCenter);
    row->addWidget(overall, 1, 10, Qt::AlignHCenter);
    row->addWidget(overallValue, 2, 10, Qt::AlignHCenter);
    addWide(bands);
    addWide(presets_.widget);
  }

  void apply(const EQPreset& p) {
    for (size_t i = 0; i < 10; ++i)
      bars_[i]->setValue(static_cast<int>(-std::lround(p.dbGain[i] * 10)));
  }

 private:
  std::array<QScrollBar*, 10> bars_{};
  PresetBox<EQPresetList> presets_;
};

// Filter Preview.
class TFilterPreview : public PreviewDialog {
 public:
  TFilterPreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Filter Preview"), "filterpreview", parent, env, 3),
        presets_(
            *this, e, e.presets.filter, QStringLiteral("Name for new filter preset:"),
            [this](const FilterPreset& p) { apply(p); },
            [this] { return filter_controls::presetFrom(ed().ctx.settings.filter, ""); }) {
    Settings::Filter& f = ed().ctx.settings.filter;
    for (size_t k = 0; k < 3; ++k) {
      auto* box = new QGroupBox(QStringLiteral("Filter #%1 ").arg(k + 1), this);
      auto* grid = new QGridLayout(box);
      auto* types = new QButtonGroup(box);
      const QStringList labels{"Filter Off", "High Pass", "Low Pass", "Notch"};
      auto* typeBox = new QGroupBox(QStringLiteral("Filter Type "), box);
      auto* typeRow = new QHBoxLayout(typeBox);
      for (int i = 0; i < labels.size(); ++i) {
        auto* b = new QRadioButton(labels[i], typeBox);
        types->addButton(b, i);
        typeRow->addWidget(b);
      }
      if (QAbstractButton* b = types->button(std::clamp(f.type[k], 0, 3))) b->setChecked(true);
      connect(types, &QButtonGroup::idClicked, this, [&f, k](int id) { f.type[k] = id; });
      grid->addWidget(typeBox, 0, 0, 1, 3);

      auto* freq = new QLineEdit(QString::number(f.freq[k], 'g'), box);
      freq->setReadOnly(true);
      auto* steps = new QHBoxLayout;
      steps->addWidget(freq);
      for (double m : {1.0, 10.0}) {
        auto* pair = new QVBoxLayout;
        pair->setSpacing(0);
        QToolButton* up = arrow(Qt::UpArrow, box);
        QToolButton* down = arrow(Qt::DownArrow, box);
        connect(up, &QToolButton::clicked, this, [&f, k, m, freq] {
          f.freq[k] = filter_controls::stepFrequency(f.freq[k], true, m);
          freq->setText(QString::number(f.freq[k], 'g'));
        });
        connect(down, &QToolButton::clicked, this, [&f, k, m, freq] {
          f.freq[k] = filter_controls::stepFrequency(f.freq[k], false, m);
          freq->setText(QString::number(f.freq[k], 'g'));
        });
        pair->addWidget(up);
        pair->addWidget(down);
        steps->addLayout(pair);
      }
      grid->addWidget(new QLabel(QStringLiteral("Frequency:"), box), 1, 0);
      grid->addLayout(steps, 1, 1, 1, 2);

      auto* slope = new QScrollBar(Qt::Horizontal, box);
      slope->setRange(1, 10);
      slope->setPageStep(1);
      slope->setMinimumWidth(160);
      slope->setValue(std::clamp(static_cast<int>(std::lround(f.q[k] * 10)), 1, 10));
      connect(slope, &QScrollBar::valueChanged, this, [&f, k](int v) { f.q[k] = v / 10.0; });
      grid->addWidget(new QLabel(QStringLiteral("Gradual"), box), 2, 0);
      grid->addWidget(slope, 2, 1);
      grid->addWidget(new QLabel(QStringLiteral("Steep"), box), 2, 2);
      addWide(box);
      types_[k] = types;
      freqs_[k] = freq;
      slopes_[k] = slope;
    }
    auto* gainRow = new QWidget(this);
    auto* gainLayout = new QHBoxLayout(gainRow);
    auto* overall = new QScrollBar(Qt::Vertical, gainRow);
    overall->setRange(0, 100);
    overall->setMinimumHeight(80);
    overall->setValue(100 - static_cast<int>(std::lround(f.overallgain * 100)));
    auto* overallValue = new QLabel(QString::number(f.overallgain, 'f', 2), gainRow);
    connect(overall, &QScrollBar::valueChanged, this, [&f, overallValue](int pos) {
      f.overallgain = (100 - pos) * 0.01;
      overallValue->setText(QString::number(f.overallgain, 'f', 2));
    });
    gainLayout->addWidget(new QLabel(QStringLiteral("Overall\nGain"), gainRow));
    gainLayout->addWidget(overall);
    gainLayout->addWidget(overallValue);
    gainLayout->addStretch(1);
    addWide(gainRow);
    addWide(presets_.widget);
  }

  // A preset's types, frequencies and Q values, through the controls.
  void apply(const FilterPreset& p) {
    Settings::Filter& f = ed().ctx.settings.filter;
    for (size_t k = 0; k < 3; ++k) {
      f.type[k] = p.type[k];
      f.freq[k] = p.freq[k];
      f.q[k] = p.q[k];
      if (QAbstractButton* b = types_[k]->button(std::clamp(p.type[k], 0, 3))) b->setChecked(true);
      freqs_[k]->setText(QString::number(p.freq[k], 'g'));
      const QSignalBlocker quiet(slopes_[k]);
      slopes_[k]->setValue(std::clamp(static_cast<int>(std::lround(p.q[k] * 10)), 1, 10));
    }
  }

 private:
  std::array<QButtonGroup*, 3> types_{};
  std::array<QLineEdit*, 3> freqs_{};
  std::array<QScrollBar*, 3> slopes_{};
  PresetBox<FilterPresetList> presets_;
};

// Declick Preview Parameters.
class TDeclickPreview : public PreviewDialog {
 public:
  TDeclickPreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Declick Preview Parameters"), "declickpreviewdialog",
                      parent, env, 0) {
    hideClip();
    DeclickParams& p = ed().params;
    auto* bars = new QWidget(this);
    auto* grid = new QGridLayout(bars);
    width_ = addBar(grid, 0, QStringLiteral("Click Width:"), ClickParamsDialog::kClickWidthMin,
                    ClickParamsDialog::kClickWidthMax);
    amp_ = addBar(grid, 1, QStringLiteral("Rel. Ampl:"), ClickParamsDialog::kRelAmpMin,
                  ClickParamsDialog::kRelAmpMax);
    repair_ = addBar(grid, 2, QStringLiteral("Repair Width:"), ClickParamsDialog::kRepairWidthMin,
                     ClickParamsDialog::kRepairWidthMax);
    addWide(bars);
    showParams();
    // The width never stays above the repair width: moving one drags the other.
    connect(width_, &QSlider::valueChanged, this, [this, &p](int v) {
      if (syncing_) return;
      p.clickWidth = static_cast<int16_t>(v);
      if (p.repairWidth < p.clickWidth) p.repairWidth = p.clickWidth;
      showParams();
    });
    connect(repair_, &QSlider::valueChanged, this, [this, &p](int v) {
      if (syncing_) return;
      p.repairWidth = static_cast<int16_t>(v);
      if (p.clickWidth > p.repairWidth) p.clickWidth = p.repairWidth;
      showParams();
    });
    connect(amp_, &QSlider::valueChanged, this, [this, &p](int v) {
      if (!syncing_) p.relAmplitude = static_cast<int16_t>(v);
    });

    shapes_ =
        radios(QStringLiteral("Shape"), {"Instant", "Spike", "Step", "Hill", "Blip", "Model"},
               static_cast<int>(p.shape), [&p](int i) { p.shape = static_cast<ClickShape>(i); });
    methods_ = radios(QStringLiteral("Repair"), {"Linear", "Bezier", "Copy", "Smooth", "AR"},
                      static_cast<int>(p.repairMethod),
                      [&p](int i) { p.repairMethod = static_cast<RepairMethod>(i); });
    times_ = new QLineEdit(QString::number(p.smoothingCount), this);
    connect(times_, &QLineEdit::textChanged, this, [&p](const QString& t) {
      bool ok = false;
      const int n = t.trimmed().isEmpty() ? 0 : t.trimmed().toInt(&ok);
      if (t.trimmed().isEmpty() || ok)
        p.smoothingCount = static_cast<int16_t>(std::clamp(n, 0, 99));
    });
    // The Smooth method's times box.
    auto* timesRow = new QWidget(this);
    auto* timesLayout = new QHBoxLayout(timesRow);
    timesLayout->setContentsMargins(0, 0, 0, 0);
    timesLayout->addWidget(new QLabel(QStringLiteral("Smooth times:"), timesRow));
    timesLayout->addWidget(times_);
    addWide(timesRow);
    check(QStringLiteral("Include Updates"), p.includeUpdates);
    check(QStringLiteral("Declicking On"), p.declickingOn);
    check(QStringLiteral("Left"), p.processLeft);
    check(QStringLiteral("Right"), p.processRight);

    thisPass_ = new QLabel(this);
    lastPass_ = new QLabel(this);
    addWide(thisPass_);
    addWide(lastPass_);

    presets_ = new QListWidget(this);
    std::vector<std::string> names = ed().presets.click.names();
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) presets_->addItem(QString::fromStdString(n));
    addWide(presets_);
    connect(presets_, &QListWidget::itemClicked, this, [this, &p](QListWidgetItem* it) {
      const ClickPreset* c = ed().presets.click.get(it->text().toStdString());
      if (!c) return;
      p.clickWidth = c->clickWidth;
      p.repairWidth = c->repairWidth;
      p.relAmplitude = c->relativeAmplitude;
      p.displayWidth = c->displayWidth;
      p.shape = c->shape;
      showParams();
    });

    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    remove->setToolTip(QStringLiteral("Stop Preview and Remove Clicks"));
    connect(remove, &QPushButton::clicked, this, [this] {
      ed().preview.removeRequested = true;
      ed().StopPlayBtnClick();
    });
    addWide(remove);
    refresh();
  }

  void refresh() override {
    thisPass_->setText("#clicks this pass: " + QString::number(ed().preview.clicksThisPass));
    lastPass_->setText("#clicks last pass: " + QString::number(ed().preview.clicksLastPass));
  }

 private:
  QSlider* addBar(QGridLayout* grid, int row, const QString& label, int min, int max) {
    auto* bar = new QSlider(Qt::Horizontal, this);
    bar->setRange(min, max);
    bar->setMinimumWidth(200);
    auto* value = new QLabel(this);
    connect(bar, &QSlider::valueChanged, value,
            [value](int v) { value->setText(QString::number(v)); });
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(bar, row, 1);
    grid->addWidget(value, row, 2);
    return bar;
  }
  // The bars and buttons from the parameter set, without writing it back.
  void showParams() {
    const DeclickParams& p = ed().params;
    syncing_ = true;
    width_->setValue(p.clickWidth);
    repair_->setValue(p.repairWidth);
    amp_->setValue(p.relAmplitude);
    if (shapes_)
      if (QAbstractButton* b = shapes_->button(static_cast<int>(p.shape))) b->setChecked(true);
    syncing_ = false;
  }
  QButtonGroup* radios(const QString& title, const QStringList& labels, int checked,
                       std::function<void(int)> set) {
    auto* box = new QGroupBox(title, this);
    auto* row = new QHBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (int i = 0; i < labels.size(); ++i) {
      auto* b = new QRadioButton(labels[i], box);
      group->addButton(b, i);
      row->addWidget(b);
      if (i == checked) b->setChecked(true);
    }
    connect(group, &QButtonGroup::idClicked, this, [set](int id) { set(id); });
    addWide(box);
    return group;
  }
  void check(const QString& text, bool& target) {
    auto* box = new QCheckBox(text, this);
    box->setChecked(target);
    connect(box, &QCheckBox::toggled, this, [&target](bool on) { target = on; });
    addWide(box);
  }

  QSlider* width_ = nullptr;
  QSlider* amp_ = nullptr;
  QSlider* repair_ = nullptr;
  QButtonGroup* shapes_ = nullptr;
  QButtonGroup* methods_ = nullptr;
  QLineEdit* times_ = nullptr;
  QLabel* thisPass_ = nullptr;
  QLabel* lastPass_ = nullptr;
  QListWidget* presets_ = nullptr;
  bool syncing_ = false;
};

// Decrackle Preview: the crackle values of the Reduce Crackle dialog, live.
class TDecracklePreview : public PreviewDialog {
 public:
  TDecracklePreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Decrackle Preview"), kReduceCrackleHelpTopic, parent, env),
        model_(ReduceNoiseModel::forCrackle(e.ctx.settings)) {
    hideClip();
    auto* bars = new QWidget(this);
    auto* grid = new QGridLayout(bars);
    auto* sensitivity = new QSlider(Qt::Horizontal, bars);
    sensitivity->setRange(1, 35);
    sensitivity->setMinimumWidth(200);
    sensitivity->setValue(model_.sensitivityPosition);
    auto* sensitivityText = new QLabel(QString::fromStdString(model_.sensitivityLabel()), bars);
    grid->addWidget(new QLabel(QString::fromLatin1(kSensitivityLabel), bars), 0, 0);
    grid->addWidget(sensitivity, 0, 1);
    grid->addWidget(sensitivityText, 0, 2);
    auto* threshold = new QSlider(Qt::Horizontal, bars);
    threshold->setRange(ClickParamsDialog::kRelAmpMin, ClickParamsDialog::kRelAmpMax);
    threshold->setValue(model_.relativeAmplitude);
    auto* thresholdText =
        new QLabel(QString::number(model_.relativeAmplitude / 100.0, 'f', 2), bars);
    grid->addWidget(new QLabel(QString::fromLatin1(kThresholdLabel), bars), 1, 0);
    grid->addWidget(threshold, 1, 1);
    grid->addWidget(thresholdText, 1, 2);
    addWide(bars);
    auto* keep = new QCheckBox(QString::fromLatin1(kKeepCrackleLabel), this);
    keep->setChecked(model_.keep);
    addWide(keep);
    // Written only when the user changes something: opening changes no setting.
    connect(sensitivity, &QSlider::valueChanged, this, [this, sensitivityText](int v) {
      model_.sensitivityPosition = v;
      sensitivityText->setText(QString::fromStdString(model_.sensitivityLabel()));
      model_.storeCrackle(ed().ctx.settings);
    });
    connect(threshold, &QSlider::valueChanged, this, [this, thresholdText](int v) {
      model_.relativeAmplitude = v;
      thresholdText->setText(QString::number(v / 100.0, 'f', 2));
      model_.storeCrackle(ed().ctx.settings);
    });
    connect(keep, &QCheckBox::toggled, this, [this](bool on) {
      model_.keep = on;
      model_.storeCrackle(ed().ctx.settings);
    });
  }

 private:
  ReduceNoiseModel model_;
};

// Channel Mix Preview.
class TChannelMixPreview : public PreviewDialog {
 public:
  TChannelMixPreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Channel Mix Preview"), "channelmixpreview", parent, env,
                      4),
        presets_(
            *this, e, e.presets.chanmix, QStringLiteral("Name for new channel mixer preset:"),
            [this](const ChanmixPreset& p) { apply(p); },
            [this] { return mix_controls::presetFrom(ed().ctx.settings.mixer, ""); }) {
    Settings::Mixer& m = ed().ctx.settings.mixer;
    auto* newLeft = new QGroupBox(QStringLiteral("New Left "), this);
    auto* leftGrid = new QGridLayout(newLeft);
    ll_ = addBar(leftGrid, 0, QStringLiteral("Old Left:"), m.leftleft);
    lr_ = addBar(leftGrid, 1, QStringLiteral("Old Right:"), m.leftright);
    linv_ = addInvert(leftGrid, 2, m.leftinvert);
    auto* newRight = new QGroupBox(QStringLiteral("New Right "), this);
    auto* rightGrid = new QGridLayout(newRight);
    rl_ = addBar(rightGrid, 0, QStringLiteral("Old Left:"), m.rightleft);
    rr_ = addBar(rightGrid, 1, QStringLiteral("Old Right:"), m.rightright);
    rinv_ = addInvert(rightGrid, 2, m.rightinvert);
    addWide(newLeft);
    addWide(newRight);

    addWide(presets_.widget);
  }

  // Clicking a preset sets the bars and the boxes, which set the settings.
  void apply(const ChanmixPreset& p) {
    ll_->setValue(p.leftleft);
    lr_->setValue(p.leftright);
    rl_->setValue(p.rightleft);
    rr_->setValue(p.rightright);
    linv_->setChecked(p.leftInvert);
    rinv_->setChecked(p.rightInvert);
  }

 private:
  QScrollBar* addBar(QGridLayout* grid, int row, const QString& label, int& target) {
    auto* bar = new QScrollBar(Qt::Horizontal, this);
    bar->setRange(-100, 100);
    bar->setPageStep(10);
    bar->setMinimumWidth(200);
    bar->setValue(std::clamp(target, -100, 100));
    auto* value = new QLabel(QString::number(bar->value()) + "%", this);
    connect(bar, &QScrollBar::valueChanged, this, [&target, value](int v) {
      target = v;
      value->setText(QString::number(v) + "%");
    });
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(bar, row, 1);
    grid->addWidget(value, row, 2);
    return bar;
  }
  QCheckBox* addInvert(QGridLayout* grid, int row, bool& target) {
    auto* box = new QCheckBox(QStringLiteral("Invert"), this);
    box->setChecked(target);
    connect(box, &QCheckBox::toggled, this, [&target](bool on) { target = on; });
    grid->addWidget(box, row, 0, 1, 3);
    return box;
  }
  QScrollBar* ll_;
  QScrollBar* lr_;
  QScrollBar* rl_;
  QScrollBar* rr_;
  QCheckBox* linv_;
  QCheckBox* rinv_;
  PresetBox<ChanmixPresetList> presets_;
};

}  // namespace

std::unique_ptr<PreviewDialog> createPreviewDialog(const std::string& id, Editor& editor,
                                                   QWidget* parent, const DialogEnv& env) {
  if (id == "CompressPreview") return std::make_unique<TCompPreview>(editor, parent, env);
  if (id == "DeclickPreview") return std::make_unique<TDeclickPreview>(editor, parent, env);
  if (id == "DecracklePreview") return std::make_unique<TDecracklePreview>(editor, parent, env);
  if (id == "FilterPreview") return std::make_unique<TFilterPreview>(editor, parent, env);
  if (id == "EqualisePreview") return std::make_unique<TEqualisePreview>(editor, parent, env);
  if (id == "ChannelMixPreview") return std::make_unique<TChannelMixPreview>(editor, parent, env);
  return nullptr;
}

}  // namespace tolmar::ui
