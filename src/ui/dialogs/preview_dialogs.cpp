#include "ui/dialogs/preview_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

}  // namespace

std::unique_ptr<PreviewDialog> createPreviewDialog(const std::string& id, Editor& editor,
                                                   QWidget* parent, const DialogEnv& env) {
  if (id == "CompressPreview") return std::make_unique<TCompPreview>(editor, parent, env);
  return nullptr;
}

}  // namespace tolmar::ui
