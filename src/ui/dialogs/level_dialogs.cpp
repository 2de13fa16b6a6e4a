#include "ui/dialogs/level_dialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dsp/effect_controls.h"

namespace tolmar::ui {

namespace {

// A read-only value with up-down buttons for a small and a large step. From the keyboard, Up
// and Down take the small step and Page Up and Page Down the large one.
class StepperField : public QLineEdit {
 public:
  StepperField(std::function<void(double)> step, std::function<QString()> text, double small,
               double large)
      : step_(std::move(step)), text_(std::move(text)), small_(small), large_(large) {
    setReadOnly(true);
    setMaximumWidth(80);
    refresh();
  }
  void stepBy(double delta) {
    step_(delta);
    refresh();
  }
  void refresh() { setText(text_()); }
  QWidget* row() {
    auto* w = new QWidget;
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(this);
    const std::pair<const char*, double> buttons[] = {
        {"-", -small_}, {"+", small_}, {"--", -large_}, {"++", large_}};
    for (auto [caption, delta] : buttons) {
      auto* b = new QPushButton(caption);
      b->setAutoDefault(false);
      b->setFocusPolicy(Qt::NoFocus);
      b->setMaximumWidth(32);
      QObject::connect(b, &QPushButton::clicked, this, [this, d = delta] { stepBy(d); });
      h->addWidget(b);
    }
    h->addStretch(1);
    return w;
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Up:
        stepBy(small_);
        return;
      case Qt::Key_Down:
        stepBy(-small_);
        return;
      case Qt::Key_PageUp:
        stepBy(large_);
        return;
      case Qt::Key_PageDown:
        stepBy(-large_);
        return;
      default:
        QLineEdit::keyPressEvent(e);
    }
  }

 private:
  std::function<void(double)> step_;
  std::function<QString()> text_;
  double small_, large_;
};

}  // namespace

std::unique_ptr<FormDialog> makeNormaliseDialog(NormaliseModel& m, QWidget* parent,
                                                const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Normalise", parent, env);
  // The steppers work on a copy, so that Cancel leaves the model as it was.
  auto work = std::make_shared<NormaliseModel>(m);
  auto* to = new QCheckBox("Normalise to (dB):");
  to->setChecked(work->donormalise);
  auto* value =
      new StepperField([work](double delta) { work->step(delta); },
                       [work] { return QString::fromStdString(work->targetText()); }, 0.01, 0.1);
  d->form()->addRow(to, value->row());
  d->addCheck("Remove DC Offset", work->removedc);
  d->addCheck("Normalise Channels Independently", work->normindep);
  d->addButtons();
  d->afterStore = [&m, work, to] {
    work->donormalise = to->isChecked();
    m = *work;
  };
  return d;
}

std::unique_ptr<FormDialog> makeFadeFactorDialog(FadeFactorModel& m, QWidget* parent,
                                                 const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Specify Fade Amount", parent, env);
  auto work = std::make_shared<FadeFactorModel>(m);
  auto* value = new StepperField([work](double delta) { work->step(delta); },
                                 [work] { return QString::fromStdString(work->text()); }, 0.1, 1.0);
  auto* label = new QLabel("Max Attenuation (dB):");
  label->setBuddy(value);
  d->form()->addRow(label, value->row());
  d->addButtons("OK", "Cancel", "partialfade");
  d->afterStore = [&m, work] { m = *work; };
  return d;
}

}  // namespace tolmar::ui
