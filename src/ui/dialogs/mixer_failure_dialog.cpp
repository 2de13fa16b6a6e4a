#include "ui/dialogs/mixer_failure_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/recording.h"

namespace tolmar::ui {

MixerFailureDialog::MixerFailureDialog(TRecording& model, QWidget* parent, const DialogEnv& env)
    : QDialog(parent), m_(model), env_(env) {
  setObjectName("TMixerFailure");
  setWindowTitle("Input Selection & Recording Level Adjustment");
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* text = new QLabel(
      "The input and the recording level of the selected recording device cannot be controlled "
      "from here: its mixer could not be used (a sound server may own the card, the device may "
      "not be a card, or the card has no capture controls).\n\n"
      "Please select the input and set the recording level with the system's volume control "
      "utility or with the program that came with your sound card. Recording works all the "
      "same; watch the meters while you set the level.",
      this);
  text->setObjectName("explanation");
  text->setWordWrap(true);
  text->setMinimumWidth(460);
  outer->addWidget(text);
  notell_ = new QCheckBox("Don't tell me about this again", this);
  notell_->setObjectName("notell");
  outer->addWidget(notell_);

  auto* row = new QHBoxLayout;
  auto* report = new QPushButton("Create Report...", this);
  report->setObjectName("reportbtn");
  auto* details = new QPushButton("More Details..", this);
  details->setObjectName("helpbtn");
  auto* proceed = new QPushButton("Proceed with Recording", this);
  proceed->setObjectName("proceedbtn");
  proceed->setDefault(true);
  for (QPushButton* b : {report, details}) b->setAutoDefault(false);
  row->addWidget(report);
  row->addWidget(details);
  row->addStretch(1);
  row->addWidget(proceed);
  outer->addLayout(row);

  connect(report, &QPushButton::clicked, this, [this] { m_.createMixerReport(); });
  connect(details, &QPushButton::clicked, this, [this] {
    if (env_.showHelp) env_.showHelp(kHelpTopic);
  });
  connect(proceed, &QPushButton::clicked, this, &QDialog::accept);
}

bool MixerFailureDialog::notell() const {
  return notell_->isChecked();
}

void MixerFailureDialog::done(int result) {
  m_.mixerFailureClosed(notell());
  QDialog::done(result);
}

}  // namespace tolmar::ui
