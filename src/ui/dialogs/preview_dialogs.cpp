#include "ui/dialogs/preview_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

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
                             QWidget* parent, DialogEnv env)
    : QDialog(parent), ed_(editor), env_(std::move(env)), helpTopic_(std::move(helpTopic)) {
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
      : PreviewDialog(e, QStringLiteral("Amplify/Compress Preview"), "ampcomppreview", parent,
                      env) {
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

// Channel Mix Preview.
class TChannelMixPreview : public PreviewDialog {
 public:
  TChannelMixPreview(Editor& e, QWidget* parent, const DialogEnv& env)
      : PreviewDialog(e, QStringLiteral("Channel Mix Preview"), "channelmixpreview", parent, env) {
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

    auto* presets = new QGroupBox(QStringLiteral("Presets"), this);
    auto* column = new QVBoxLayout(presets);
    list_ = new QListWidget(presets);
    column->addWidget(list_);
    auto* add = new QPushButton(QStringLiteral("Add New Preset"), presets);
    auto* del = new QPushButton(QStringLiteral("Delete Current Preset"), presets);
    auto* factory =
        new QPushButton(QStringLiteral("Install/Restore Factory Default Presets"), presets);
    column->addWidget(add);
    column->addWidget(del);
    column->addWidget(factory);
    addWide(presets);
    fillList();
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
      if (const ChanmixPreset* p = ed().presets.chanmix.get(item->text().toStdString())) apply(*p);
    });
    connect(add, &QPushButton::clicked, this, [this] { addPreset(); });
    connect(del, &QPushButton::clicked, this, [this] {
      QListWidgetItem* item = list_->currentItem();
      if (!item || !ed().presets.chanmix.del(item->text().toStdString())) return;
      saveFamily();
    });
    connect(factory, &QPushButton::clicked, this, [this] {
      ed().presets.chanmix.setDefault(ed().ctx, ed().iniFile);
      saveFamily();
    });
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
  QListWidget* presetList() const { return list_; }

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
  void fillList() {
    std::vector<std::string> names = ed().presets.chanmix.names();
    std::sort(names.begin(), names.end());
    list_->clear();
    for (const std::string& n : names) list_->addItem(QString::fromStdString(n));
  }
  void addPreset() {
    bool ok = false;
    const QString name = QInputDialog::getText(this, windowTitle(),
                                               QStringLiteral("Name for new channel mixer preset:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok || name.trimmed().isEmpty()) return;
    const Settings::Mixer& m = ed().ctx.settings.mixer;
    ChanmixPreset p;
    p.name = name.toStdString();
    p.leftleft = m.leftleft;
    p.leftright = m.leftright;
    p.rightleft = m.rightleft;
    p.rightright = m.rightright;
    p.leftInvert = m.leftinvert;
    p.rightInvert = m.rightinvert;
    if (ed().presets.chanmix.add(ed().ctx, p)) saveFamily();
  }
  // Every preset change is written at once.
  void saveFamily() {
    ed().presets.chanmix.write(ed().iniFile);
    std::string error;
    if (!ed().iniFile.path().empty() && !ed().iniFile.save(&error)) ed().ctx.error(error);
    fillList();
  }

  QScrollBar* ll_;
  QScrollBar* lr_;
  QScrollBar* rl_;
  QScrollBar* rr_;
  QCheckBox* linv_;
  QCheckBox* rinv_;
  QListWidget* list_ = nullptr;
};

}  // namespace

std::unique_ptr<PreviewDialog> createPreviewDialog(const std::string& id, Editor& editor,
                                                   QWidget* parent, const DialogEnv& env) {
  if (id == "CompressPreview") return std::make_unique<TCompPreview>(editor, parent, env);
  if (id == "ChannelMixPreview") return std::make_unique<TChannelMixPreview>(editor, parent, env);
  return nullptr;
}

}  // namespace tolmar::ui
