#include "ui/dialogs/analysis_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dsp/fft.h"
#include "dsp/statistics.h"

namespace tolmar::ui {

namespace {

QLineEdit* readOnly(const std::string& text) {
  auto* e = new QLineEdit(QString::fromStdString(text));
  e->setReadOnly(true);
  e->setMinimumWidth(90);
  return e;
}

QGroupBox* channelBox(const QString& title, const SelectionStatsModel::Channel& c) {
  auto* box = new QGroupBox(title);
  auto* g = new QGridLayout(box);
  g->addWidget(new QLabel("Peak level:"), 0, 0);
  g->addWidget(readOnly(c.peak), 0, 1);
  g->addWidget(readOnly(c.peakPercent + "%"), 0, 2);
  g->addWidget(readOnly(c.peakDb + "dB"), 0, 3);
  g->addWidget(new QLabel("RMS Level:"), 1, 0);
  g->addWidget(readOnly(c.rms), 1, 1);
  g->addWidget(readOnly(c.rmsPercent + "%"), 1, 2);
  g->addWidget(readOnly(c.rmsDb + "dB"), 1, 3);
  g->addWidget(new QLabel("DC Offset:"), 2, 0);
  g->addWidget(readOnly(c.dc), 2, 1);
  g->addWidget(readOnly(c.dcPercent + "%"), 2, 2);
  return box;
}

}  // namespace

std::unique_ptr<FormDialog> makeSelectionStatsDialog(SelectionStatsModel& m, QWidget* parent,
                                                     const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Selection Statistics", parent, env);
  auto* times = new QGridLayout;
  times->addWidget(new QLabel("Display from:"), 0, 0);
  times->addWidget(readOnly(m.displayFrom), 0, 1);
  times->addWidget(new QLabel("to:"), 0, 2);
  times->addWidget(readOnly(m.displayTo), 0, 3);
  times->addWidget(new QLabel("Selection from:"), 1, 0);
  times->addWidget(readOnly(m.selectionFrom), 1, 1);
  times->addWidget(new QLabel("to:"), 1, 2);
  times->addWidget(readOnly(m.selectionTo), 1, 3);
  d->form()->addRow(times);
  d->form()->addRow(channelBox("Left Channel", m.left));
  d->form()->addRow(channelBox("Right Channel", m.right));
  // Nothing to confirm: the one way out is Close.
  d->addButtons("Close", "");
  auto* copy = new QPushButton("To Clipboard");
  copy->setToolTip("Copy all statistics to the clipboard");
  copy->setAutoDefault(false);
  d->addExtraButton(copy, 1);
  QObject::connect(copy, &QPushButton::clicked, d.get(), [&m] {
    QApplication::clipboard()->setText(QString::fromStdString(m.clipboardText()));
  });
  return d;
}

std::unique_ptr<FormDialog> makeSetPrecisionDialog(SetPrecisionModel& m, QWidget* parent,
                                                   const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(kSetPrecisionCaption, parent, env);
  QStringList entries;
  for (const auto& e : kPrecisionEntries) entries << e.text;
  d->addCombo(kSetPrecisionLabel, m.selected, entries);
  d->addButtons("OK", "Cancel", kSetPrecisionHelpTopic);
  return d;
}

}  // namespace tolmar::ui
