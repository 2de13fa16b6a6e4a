#include "ui/dialogs/sound_card_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace tolmar::ui {

namespace {

QString q(const std::string& text) {
  return QString::fromStdString(text);
}

// The devices by name with their numbers; an empty list says so and cannot be used.
template <class Info>
QComboBox* deviceCombo(const std::vector<Info>& devices, int current, const QString& none) {
  auto* combo = new QComboBox;
  if (devices.empty()) {
    combo->addItem(none);
    combo->setEnabled(false);
    return combo;
  }
  int selected = 0;
  for (size_t i = 0; i < devices.size(); ++i) {
    combo->addItem(q(devices[i].name), devices[i].number);
    if (devices[i].number == current) selected = static_cast<int>(i);
  }
  combo->setCurrentIndex(selected);
  return combo;
}

// The fixed choices, with the current value among them even when a hand-edited file holds
// another: opening and closing the dialog must not change it.
QComboBox* numberCombo(std::vector<int> items, int current) {
  if (std::find(items.begin(), items.end(), current) == items.end() && current > 0) {
    items.push_back(current);
    std::sort(items.begin(), items.end());
  }
  auto* combo = new QComboBox;
  for (int v : items) combo->addItem(QString::number(v), v);
  combo->setCurrentIndex(combo->findData(current));
  return combo;
}

}  // namespace

TPickCards::TPickCards(SoundCardChoice& choice, SoundCardList& cards, bool initialSetup,
                       QWidget* parent, const DialogEnv& env)
    : FormDialog(initialSetup ? kInitialSetupCaption : kPickCardsCaption, parent, env),
      choice_(choice),
      cards_(cards),
      initialSetup_(initialSetup),
      pickerEnv_(env),
      recording_(cdFormatDevices(cards.recordingDevices())),
      playback_(cdFormatDevices(cards.playbackDevices())) {
  recdevs_ = deviceCombo(recording_, choice.recdevno, "No Suitable Recording Devices");
  recdevs_->setObjectName("recdevs");
  playdevs_ = deviceCombo(playback_, choice.playdevno, "No Suitable Playback Devices");
  playdevs_->setObjectName("playdevs");
  for (QComboBox* c : {recdevs_, playdevs_}) c->setMinimumWidth(300);
  auto* recLabel = new QLabel("Recording Devices:");
  recLabel->setBuddy(recdevs_);
  auto* playLabel = new QLabel("Playback Devices:");
  playLabel->setBuddy(playdevs_);
  form()->addRow(recLabel, recdevs_);
  form()->addRow(playLabel, playdevs_);
  if (!recording_.empty())
    recordLine_ = choice.recordLineFor(&recording_[static_cast<size_t>(recdevs_->currentIndex())]);

  nbuffs_ = numberCombo({2, 4, 8, 16}, choice.recplaybuffs);
  nbuffs_->setObjectName("nbuffs");
  buffspersec_ = numberCombo({1, 2, 5, 10, 20}, choice.recplaybps);
  buffspersec_->setObjectName("buffspersec");
  auto* nbuffsLabel = new QLabel("Number of Buffers:");
  nbuffsLabel->setBuddy(nbuffs_);
  auto* bpsLabel = new QLabel("Buffers per Second:");
  bpsLabel->setBuddy(buffspersec_);
  form()->addRow(nbuffsLabel, nbuffs_);
  form()->addRow(bpsLabel, buffspersec_);

  const bool values[7] = {choice.playendreset,  choice.playendrelease,  choice.playendwait,
                          choice.playstopreset, choice.playstoprelease, choice.playstopwait,
                          choice.muteunused};
  const char* const names[7] = {"playendreset",    "playendrelease", "playendwait", "playstopreset",
                                "playstoprelease", "playstopwait",   "muteunused"};
  for (int group = 0; group < 2; ++group) {
    auto* box = new QGroupBox(group == 0 ? "Special Actions on Playback End "
                                         : "Special Actions on Playback Stop ");
    auto* column = new QVBoxLayout(box);
    for (int k = 0; k < 3; ++k) {
      const int i = group * 3 + k;
      static const char* const kCaptions[3] = {"Reset Soundcard", "Release Buffers",
                                               "Wait Before Release"};
      checks_[i] = new QCheckBox(kCaptions[k]);
      column->addWidget(checks_[i]);
    }
    form()->addRow(box);
  }
  checks_[6] = new QCheckBox("Mute Unused Inputs During Recording");
  form()->addRow(checks_[6]);
  for (int i = 0; i < 7; ++i) {
    checks_[i]->setChecked(values[i]);
    checks_[i]->setObjectName(names[i]);
  }

  addButtons("OK", "Cancel", kPickCardsHelpTopic);
  addCheckOnOk([this]() -> std::optional<QString> {
    if ((recdevs_->isEnabled() && recdevs_->currentIndex() < 0) ||
        (playdevs_->isEnabled() && playdevs_->currentIndex() < 0))
      return QString("Please select recording/playback devices");
    return std::nullopt;
  });
  afterStore = [this] { okbtnClick(); };
  connect(this, &QDialog::rejected, this, [cancelled = env.cancelled] {
    if (cancelled) cancelled();
  });
  connect(recdevs_, &QComboBox::currentIndexChanged, this, [this] { recdevsChange(); });

  if (initialSetup) {
    for (QWidget* w : std::initializer_list<QWidget*>{nbuffs_, buffspersec_, nbuffsLabel, bpsLabel})
      w->hide();
    adjustSize();
  }
}

void TPickCards::recdevsChange() {
  recordLine_ = -1;
  const int i = recdevs_->currentIndex();
  if (!recdevs_->isEnabled() || i < 0) return;
  const std::vector<WaveInputLine> lines =
      cards_.waveInputLines(recording_[static_cast<size_t>(i)].number);
  if (lines.size() < 2) return;
  int chosen = 0;
  auto picker = makePickRecLineDialog(lines, chosen, this, pickerEnv_);
  if (picker->exec() == QDialog::Accepted && chosen >= 0 && chosen < int(lines.size()))
    recordLine_ = static_cast<int>(lines[static_cast<size_t>(chosen)].lineId);
}

void TPickCards::okbtnClick() {
  // A list with nothing in it keeps the device chosen before: the card may only be unplugged.
  if (recdevs_->isEnabled()) {
    const InputDeviceInfo& d = recording_[static_cast<size_t>(recdevs_->currentIndex())];
    choice_.recdevno = d.number;
    choice_.recdevnm = d.name;
  }
  if (playdevs_->isEnabled()) {
    const OutputDeviceInfo& d = playback_[static_cast<size_t>(playdevs_->currentIndex())];
    choice_.playdevno = d.number;
    choice_.playdevnm = d.name;
  }
  choice_.reclineno = recordLine_;
  choice_.recplaybuffs = nbuffs_->currentData().toInt();
  choice_.recplaybps = buffspersec_->currentData().toInt();
  bool* fields[7] = {&choice_.playendreset,  &choice_.playendrelease,  &choice_.playendwait,
                     &choice_.playstopreset, &choice_.playstoprelease, &choice_.playstopwait,
                     &choice_.muteunused};
  for (int i = 0; i < 7; ++i) *fields[i] = checks_[i]->isChecked();
}

std::unique_ptr<FormDialog> makePickRecLineDialog(const std::vector<WaveInputLine>& lines,
                                                  int& chosen, QWidget* parent,
                                                  const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(kPickRecLineCaption, parent, env);
  d->addNote("The selected recording device has more than one logical input line.");
  d->addNote("Please select the line you wish to use:");
  auto* combo = new QComboBox;
  combo->setObjectName("lines");
  for (const WaveInputLine& l : lines) combo->addItem(q(l.name));
  combo->setCurrentIndex(lines.empty() ? -1 : std::clamp(chosen, 0, int(lines.size()) - 1));
  d->form()->addRow(combo);
  d->addButtons("OK", "Cancel");
  FormDialog* raw = d.get();
  raw->afterStore = [combo, &chosen] { chosen = combo->currentIndex(); };
  return d;
}

}  // namespace tolmar::ui
