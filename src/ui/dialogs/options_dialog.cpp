#include "ui/dialogs/options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <functional>

#include "base/settings.h"
#include "dsp/effect_road.h"
#include "editor/command_table.h"
#include "editor/shortcut_table.h"
#include "ui/dialogs/sound_card_dialogs.h"

namespace tolmar::ui {

const std::vector<ColourEntry>& colourEntries() {
  using C = Settings::Colours;
  static const std::vector<ColourEntry> entries{
      {"Main Display Background", "mainback", &C::mainback},
      {"Redraw Mode Background", "redrawback", &C::redrawback},
      {"Main Display Axes", "axes", &C::axes},
      {"Normal Waveform", "normal", &C::normal},
      {"Redrawn Wavform", "redraw", &C::redraw},
      {"Click", "click", &C::click},
      {"Cue Point", "cue", &C::cue},
      {"Marker", "marker", &C::marker},
      {"Audible Marker", "clickmarker", &C::clickmarker},
      {"Compatible Block", "compat", &C::compat},
      {"Overlay Block", "overlay", &C::overlay},
      {"Section Marked for Deletion", "deletion", &C::deletion},
      {"Insert Silence Marker", "insertion", &C::insertion},
      {"Start of Selection", "startsel", &C::startsel},
      {"End of Selection", "endsel", &C::endsel},
      {"Non-Editable Background", "noeditback", &C::noeditback},
      {"Non-Editable Waveform", "noedit", &C::noedit},
  };
  return entries;
}

ShortcutParts splitShortcut(const QString& text) {
  ShortcutParts parts;
  QString rest = text;
  for (;;) {
    if (rest.startsWith("Shift+", Qt::CaseInsensitive)) {
      parts.shift = true;
    } else if (rest.startsWith("Ctrl+", Qt::CaseInsensitive)) {
      parts.ctrl = true;
    } else if (rest.startsWith("Alt+", Qt::CaseInsensitive)) {
      parts.alt = true;
    } else {
      break;
    }
    rest = rest.mid(rest.indexOf('+') + 1);
  }
  parts.key = rest;
  return parts;
}

namespace {

QColor qcolour(uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
uint32_t colourref(const QColor& c) {
  return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

QIcon swatch(uint32_t c) {
  QPixmap pm(28, 14);
  pm.fill(qcolour(c));
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.drawRect(0, 0, pm.width() - 1, pm.height() - 1);
  return QIcon(pm);
}

// Enter on a colour opens its colour dialog; it must not also press the dialog's OK.
class ColourList : public QListWidget {
 public:
  std::function<void(int row)> onPick;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && onPick) {
      onPick(currentRow());
      e->accept();
      return;
    }
    QListWidget::keyPressEvent(e);
  }
};

const char* const kTabTopics[] = {
    "optionsfilestab",   "optionsinterfacetab", "optionsoperationstab", "optionssplittab",
    "optionsplayrectab", "optionscolourstab",   "optionsshortcutstab"};

class OptionsForm : public FormDialog {
 public:
  OptionsForm(OptionsModel& m, QWidget* parent, const DialogEnv& env)
      : FormDialog("Options", parent, env),
        m_(m),
        s_(m.settings),
        colours_(m.settings.colours),
        soundCards_(env.soundCards),
        cancelled_(env.cancelled) {
    tabs_ = new QTabWidget;
    tabs_->setUsesScrollButtons(false);
    outer()->insertWidget(0, tabs_);
    addFilesMenus();
    addInterface();
    addOperations();
    addTrackSplitting();
    addPlaybackRecording();
    addColours();
    addShortcuts();
    tabs_->setCurrentIndex(static_cast<int>(m.first));
    addButtons("OK", "Cancel", kTabTopics[static_cast<int>(m.first)]);
    disconnect(helpButton(), nullptr, nullptr, nullptr);
    connect(helpButton(), &QPushButton::clicked, this,
            [this] { openHelp(kTabTopics[tabs_->currentIndex()]); });
    afterStore = [this] { store(); };
  }

 private:
  // A page of two columns; the controls go into the first until nextColumn().
  QFormLayout* page(const QString& title) {
    auto* w = new QWidget;
    auto* columns = new QHBoxLayout(w);
    auto* f = new QFormLayout;
    columns->addLayout(f, 1);
    second_ = new QFormLayout;
    columns->addLayout(second_, 0);
    columns_ = columns;
    tabs_->addTab(w, title);
    setForm(f);
    return f;
  }
  void nextColumn() {
    setForm(second_);
    columns_->setStretch(1, 1);
  }

  // A group of radio buttons for fixed values, the last of which takes the value typed beside
  // it. The typed value is checked on OK only while its radio is chosen.
  struct Choice {
    QButtonGroup* group = nullptr;
    QLineEdit* edit = nullptr;
    std::vector<int> values;  // of the fixed radios
    int result = 0;
  };
  Choice* addChoice(const QString& title, int current, const QStringList& fixedLabels,
                    const std::vector<int>& fixedValues, const QString& typedLabel, int min,
                    int max) {
    auto c = std::make_unique<Choice>();
    c->values = fixedValues;
    auto* box = new QGroupBox(title);
    auto* grid = new QGridLayout(box);
    c->group = new QButtonGroup(box);
    int checked = static_cast<int>(fixedValues.size());
    for (size_t i = 0; i < fixedValues.size(); ++i)
      if (fixedValues[i] == current) checked = static_cast<int>(i);
    for (int i = 0; i < fixedLabels.size(); ++i) {
      auto* r = new QRadioButton(fixedLabels[i]);
      c->group->addButton(r, i);
      grid->addWidget(r, i, 0, 1, 2);
    }
    auto* typed = new QRadioButton(typedLabel);
    const int typedId = static_cast<int>(fixedLabels.size());
    c->group->addButton(typed, typedId);
    grid->addWidget(typed, typedId, 0);
    c->edit = new QLineEdit(checked == typedId ? QString::number(current) : QString());
    c->edit->setMaximumWidth(90);
    c->edit->setAccessibleName(fieldName(typedLabel));
    grid->addWidget(c->edit, typedId, 1);
    c->group->button(checked)->setChecked(true);
    c->edit->setEnabled(checked == typedId);
    QLineEdit* edit = c->edit;
    connect(typed, &QRadioButton::toggled, edit, [edit](bool on) {
      edit->setEnabled(on);
      if (on) edit->setFocus();
    });
    form()->addRow(box);
    Choice* raw = c.get();
    const QString name = fieldName(typedLabel);
    addCheckOnOk([this, raw, typedId, name, min, max]() -> std::optional<QString> {
      const int id = raw->group->checkedId();
      if (id != typedId) {
        raw->result = raw->values[static_cast<size_t>(id)];
        return std::nullopt;
      }
      const auto v = parseWhole(raw->edit->text());
      if (v && *v >= min && *v <= max) {
        raw->result = static_cast<int>(*v);
        return std::nullopt;
      }
      warn(wholeNumberRangeText(name, min, max));
      focusField(raw->edit);
      return QString();
    });
    choices_.push_back(std::move(c));
    return raw;
  }

  // Puts a button to the right of the form's last field, in the same row.
  QPushButton* besideLastField(QPushButton* button) {
    const int row = form()->rowCount() - 1;
    QFormLayout::TakeRowResult taken = form()->takeRow(row);
    auto* box = new QWidget;
    auto* h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(taken.fieldItem->widget(), 1);
    h->addWidget(button);
    delete taken.fieldItem;
    form()->insertRow(row, taken.labelItem->widget(), box);
    delete taken.labelItem;
    return button;
  }

  QPushButton* browseButton(QLineEdit* edit, const QString& title) {
    auto* b = new QPushButton("Browse...");
    connect(b, &QPushButton::clicked, this, [this, edit, title] {
      QFileDialog dialog(this, title, edit->text());
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setOption(QFileDialog::DontUseNativeDialog);
      dialog.selectFile("will be ignored");
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
      edit->setText(QFileInfo(dialog.selectedFiles().first()).absolutePath());
    });
    return b;
  }

  void addFilesMenus() {
    page("Files/Menus");
    QLineEdit* tmp = addText("Temporary Files Directory:", s_.tmpdir);
    besideLastField(browseButton(tmp, "Select Location for Temporary Files"))
        ->setObjectName("browseTemporary");
    QLineEdit* wav = addText("Initial WAV File Directory:", s_.wavdir);
    besideLastField(browseButton(wav, "Select Initial Location for WAV Files"));
    tmp->setMinimumWidth(320);
    addInt("Edits Longer Than (s) Go to Temporary Files:", s_.bigeditthresh, 1, 86400)
        ->setMaximumWidth(90);
    addCheck("Hold Edits in Memory Always", s_.bigeditsinmemory);
    addCheck("Select Whole File After Opening", s_.openselect);
    addCheck("Keep Noise Fingerprint for Next File", s_.keepfingerprint);
    addCheck("Always Confirm Saving of Edits", s_.saveconfirm);
    addCheck("Beep on Errors", s_.emitbeeps);
    addCheck("Show Button Bar", s_.showbuttonbar);
    addCheck("Show Macro Button Bar", s_.showmacrobuttonbar);
  }

  void addInterface() {
    page("Interface");
    redrawCursor_ = s_.redrawcursor;
    addRadios("Redraw Mode Cursor ", redrawCursor_, {"Up Arrow", "Cross"});
    pageDisplay_ = s_.pagedisplay;
    addRadios("Page Display ", pageDisplay_,
              {"Show Only the Samples of the Page", "Fill the Whole Display Width"});
    zoomCentre_ = s_.zoomcenter;
    addRadios("After Zooming Keep the Same ", zoomCentre_,
              {"Start of Page", "Centre of Page", "End of Page"});
    detail_ = addChoice("Standard Detail Scale ", s_.detailscale, {"one sample per pixel"}, {0},
                        "Samples per Page:", 1, 100000000);
    initial_ = addChoice("Initial Display ", s_.initialdisplay, {"Display Entire File"}, {0},
                         "Seconds Displayed:", 1, 86400);
    nextColumn();
    revolution_ = addChoice("Next/Previous Revolution ", s_.movebyrev, {"33 1/3 rpm", "45 rpm"},
                            {1800, 1333}, "Other (ms):", 1, 3600000);
    addDouble("Page Overlap (%):", s_.pageoverlap, 0.0, 99.0, 1, OutOfRange::Clamp);
    addInt16("Fragment (% of Page):", s_.fragment, 1, 99, OutOfRange::Clamp);
    addCheck("Vertical Scale Adjusters", s_.vscaleadjusters);
    addCheck("Time Scroller", s_.timescroller);
    addCheck("Time Scroller at Top", s_.timescrolltop);
    addCheck("Reduce Flicker", s_.reduceflicker);
    addCheck("New Style Waveform", s_.newstylewaveform);
    addCheck("Show Times in CD Frames", s_.timeinframes);
    addCheck("Show Track Numbers in Times", s_.tracksintimes);
    addCheck("Show Spans as Durations", s_.spansasdurations);
    addCheck("Update Display While Dragging", s_.draggingupdates);
    addCheck("Highlight Playback Context", s_.showcontext);
    addCheck("Recalculate Scaling After Fragment Moves", s_.recalcscaling);
    addCheck("Goto Cue Sets Selection Start", s_.gocuesetstart);
  }

  void addOperations() {
    page("Operations");
    clipDb_ = std::round((6.0 * std::log2(double(s_.clippingvalue)) - 90.0) * 10.0) / 10.0;
    samples_ = addInt("Number of Consecutive Samples:", s_.clippingsamples, 1, 1000);
    level_ = addDouble("Clipping Level (dB):", clipDb_, -30.0, 0.0, 1);
    flat_ = addCheck("Flat Tops Only", s_.flattopsonly);
    variance_ = addDouble("Flat Top Variance:", s_.ftvariance, 0.0, 100.0, 1);
    auto* typical = new QListWidget;
    typical->setObjectName("typical");
    typical->addItems({"Soundcard able to deliver 0dB", "Soundcard with analogue clipping",
                       "Overcompressed CDs"});
    typical->setMaximumHeight(70);
    form()->addRow("Typical settings", typical);
    connect(typical, &QListWidget::currentRowChanged, this, [this](int row) {
      static const struct {
        double db;
        bool flat;
        double variance;
      } kTypical[] = {{0.0, false, 0.0}, {-4.0, true, 0.4}, {-0.5, true, 0.2}};
      if (row < 0 || row > 2) return;
      const QLocale locale;
      level_->setText(locale.toString(kTypical[row].db, 'f', 1));
      flat_->setChecked(kTypical[row].flat);
      if (kTypical[row].flat) variance_->setText(locale.toString(kTypical[row].variance, 'f', 1));
      samples_->setText("4");
    });
    addCheck("Show Options Before Finding Clipping", s_.showonclipdetect);
    addCheck("Show Clipping Histogram", s_.showcliphistogram);
  }

  void addTrackSplitting() {
    page("Track Splitting");
    addInt("Minimum Silence Length (ms):", s_.silencelength, 1, 600000);
    addDouble("Maximum Silence Level (dB below full scale):", s_.silencelevel, 0.0, 96.0, 1);
    addInt("Minimum Track Length (ms):", s_.mintracklen, 0, 36000000);
    addRadios("A Found Track Adds ", s_.findtrackoption, {"Marker", "Cue Point"});
    addRadios("Place Track Start at ", s_.placetrackoption,
              {"End of Gap", "Middle of Gap", "Start of Gap"});
    nextColumn();
    addCheck("Clear Markers/Cue Points Before Search", s_.clearbeforesearch);
    addCheck("Add Safety Offset on Converting Markers", s_.addoffsetonconvert);
    addCheck("Show Options Before Finding Tracks", s_.showonfindtracks);
    addCheck("Use WAV File Name as Stub", s_.splitstub);
    addCheck("Prefix Track Number", s_.splitprefix);
    addCheck("Include Track Number", s_.splittrackno);
    addRadios("CD-Text in File Names ", s_.splitcdtexttype,
              {"Title - Performer", "Performer - Title", "Title Only", "Custom Format"});
    addText("Custom Format:", s_.splitcustomstring);
  }

  void addPlaybackRecording() {
    page("Playback/Recording");
    mono_ = s_.monoplayback ? 0 : 1;
    addRadios("Single Channel Playback ", mono_,
              {"Play in both output channels", "Play only in corresponding output channel"});
    beforeMs_ = s_.beforeplay * 100;
    afterMs_ = s_.afterplay * 100;
    addInt("Context Before Selection (ms):", beforeMs_, 0, 3276700);
    addInt("Context After Selection (ms):", afterMs_, 0, 3276700);
    addInt("Marker Offset (ms):", s_.markeroffset, 0, 60000);
    addInt("Cue Safety Margin (ms):", s_.safetymargin, 0, 60000);
    addCheck("Clear Markers on Playback", s_.clearmarkers);
    addRadios("Default Recording Rate ", s_.recordrate, {"44.1 kHz", "48 kHz"});
    recTime_ = addChoice("Default Recording Time ", s_.defaultrectime, {"Unlimited"}, {0},
                         "Minutes:", 1, 100000);
    buffs_ = addInt("Number of Audio Buffers:", s_.recplaybuffs, 2, 64);
    bps_ = addInt("Audio Buffers per Second:", s_.recplaybps, 1, 100);
    auto* cards = new QPushButton("Select and Configure Soundcard(s)...");
    cards->setObjectName("soundcards");
    form()->addRow(cards);
    connect(cards, &QPushButton::clicked, this, [this] { pickCards(); });
    nextColumn();
    playChecks_[0] = addCheck("Reset Output Device at End of Playback", s_.playendreset);
    playChecks_[1] = addCheck("Release Output Device at End of Playback", s_.playendrelease);
    playChecks_[2] = addCheck("Wait for Output Device at End of Playback", s_.playendwait);
    playChecks_[3] = addCheck("Reset Output Device on Stop", s_.playstopreset);
    playChecks_[4] = addCheck("Release Output Device on Stop", s_.playstoprelease);
    playChecks_[5] = addCheck("Wait for Output Device on Stop", s_.playstopwait);
    playChecks_[6] = addCheck("Mute Unused Input Lines", s_.muteunused);
    addCheck("No Record Input Line/Level Control", s_.novolctrl);
    addCheck("Recording Time Counter Off", s_.counteroff);
    addCheck("Recording Meters Off", s_.metersoff);
    addCheck("Timed Recording", s_.timedrecord);
  }

  // The sound-card dialog over what this tab shows now. Its buffers and switches come back into
  // this tab's fields; the devices wait for OK here, so that Cancel drops them too.
  void pickCards() {
    SoundCardChoice c = devices_ ? *devices_ : SoundCardChoice::fromSettings(s_);
    if (auto v = parseWhole(buffs_->text()); v && *v >= 2 && *v <= 64) c.recplaybuffs = int(*v);
    if (auto v = parseWhole(bps_->text()); v && *v >= 1 && *v <= 100) c.recplaybps = int(*v);
    bool* fields[7] = {&c.playendreset,    &c.playendrelease, &c.playendwait, &c.playstopreset,
                       &c.playstoprelease, &c.playstopwait,   &c.muteunused};
    for (int i = 0; i < 7; ++i) *fields[i] = playChecks_[i]->isChecked();
    BackendSoundCards none(nullptr, nullptr);
    DialogEnv env;
    env.showHelp = [this](const std::string& topic) { openHelp(topic); };
    env.cancelled = cancelled_;
    TPickCards dialog(c, soundCards_ ? *soundCards_ : none, false, this, env);
    if (dialog.exec() != QDialog::Accepted) return;
    buffs_->setText(QString::number(c.recplaybuffs));
    bps_->setText(QString::number(c.recplaybps));
    for (int i = 0; i < 7; ++i) playChecks_[i]->setChecked(*fields[i]);
    devices_ = c;
  }

  void addColours() {
    page("Colours");
    auto* list = new ColourList;
    list->onPick = [this](int row) { pickColour(row); };
    colourList_ = list;
    colourList_->setObjectName("colours");
    for (const ColourEntry& e : colourEntries())
      colourList_->addItem(new QListWidgetItem(swatch(colours_.*e.field), e.caption));
    colourList_->setCurrentRow(0);
    colourList_->setMinimumHeight(260);
    form()->addRow(colourList_);
    auto* change = new QPushButton("Change Colour...");
    form()->addRow(change);
    connect(change, &QPushButton::clicked, this, [this] { pickColour(colourList_->currentRow()); });
    connect(colourList_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { pickColour(colourList_->row(item)); });
    addCheck("Invert Spectral View Colours", s_.spectralinvert);
  }

  void pickColour(int row) {
    if (row < 0 || row >= static_cast<int>(colourEntries().size())) return;
    const ColourEntry& e = colourEntries()[static_cast<size_t>(row)];
    QColorDialog dialog(qcolour(colours_.*e.field), this);
    dialog.setWindowTitle(e.caption);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return;
    colours_.*e.field = colourref(dialog.selectedColor());
    colourList_->item(row)->setIcon(swatch(colours_.*e.field));
  }

  void addShortcuts() {
    page("Menu Shortcuts");
    shortcutList_ = new QTreeWidget;
    shortcutList_->setColumnCount(2);
    shortcutList_->setHeaderLabels({"Menu Item", "Shortcut"});
    shortcutList_->setRootIsDecorated(false);
    commands_ = eligibleCommands(m_.showDebugItems);
    for (const Command* c : commands_)
      new QTreeWidgetItem(shortcutList_, {QString::fromStdString(menuPath(*c)),
                                          QString::fromStdString(m_.shortcuts.shortcut(*c))});
    shortcutList_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    shortcutList_->header()->setStretchLastSection(true);
    shortcutList_->setMinimumHeight(260);
    form()->addRow(shortcutList_);
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    shift_ = new QCheckBox("Shift");
    ctrl_ = new QCheckBox("Control");
    alt_ = new QCheckBox("Alt");
    key_ = new QComboBox;
    key_->addItem("");
    for (const std::string& k : shortcutKeyNames()) key_->addItem(QString::fromStdString(k));
    auto* set = new QPushButton("Set");
    auto* remove = new QPushButton("Remove Shortcut");
    for (QWidget* w : std::initializer_list<QWidget*>{shift_, ctrl_, alt_, key_, set, remove})
      h->addWidget(w);
    h->addStretch(1);
    form()->addRow(row);
    connect(shortcutList_, &QTreeWidget::currentItemChanged, this, [this] { showShortcut(); });
    connect(set, &QPushButton::clicked, this, [this] {
      const Command* c = currentCommand();
      if (!c) return;
      const std::string text =
          composeShortcut(shift_->isChecked(), ctrl_->isChecked(), alt_->isChecked(),
                          key_->currentText().toStdString());
      setShortcutChecked(m_.shortcuts, *c, text, m_.session, m_.showDebugItems);
      refreshShortcuts();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
      const Command* c = currentCommand();
      if (!c) return;
      m_.shortcuts.set(*c, "");
      refreshShortcuts();
    });
    if (shortcutList_->topLevelItemCount() > 0)
      shortcutList_->setCurrentItem(shortcutList_->topLevelItem(0));
  }

  const Command* currentCommand() const {
    const int i = shortcutList_->indexOfTopLevelItem(shortcutList_->currentItem());
    return i >= 0 && i < static_cast<int>(commands_.size()) ? commands_[static_cast<size_t>(i)]
                                                            : nullptr;
  }

  void showShortcut() {
    const Command* c = currentCommand();
    if (!c) return;
    const ShortcutParts parts = splitShortcut(QString::fromStdString(m_.shortcuts.shortcut(*c)));
    shift_->setChecked(parts.shift);
    ctrl_->setChecked(parts.ctrl);
    alt_->setChecked(parts.alt);
    const int k = key_->findText(parts.key, Qt::MatchFixedString);
    key_->setCurrentIndex(k < 0 ? 0 : k);
  }

  void refreshShortcuts() {
    for (int i = 0; i < shortcutList_->topLevelItemCount(); ++i)
      shortcutList_->topLevelItem(i)->setText(
          1, QString::fromStdString(m_.shortcuts.shortcut(*commands_[static_cast<size_t>(i)])));
    showShortcut();
  }

  void store() {
    s_.clippingvalue = static_cast<int16_t>(DbToLevel(clipDb_));
    s_.redrawcursor = static_cast<int16_t>(redrawCursor_);
    s_.pagedisplay = static_cast<int16_t>(pageDisplay_);
    s_.zoomcenter = static_cast<int16_t>(zoomCentre_);
    s_.detailscale = detail_->result;
    s_.initialdisplay = initial_->result;
    s_.movebyrev = revolution_->result;
    s_.defaultrectime = recTime_->result;
    s_.monoplayback = mono_ == 0;
    // The context is kept in tenths of a second.
    s_.beforeplay = static_cast<int16_t>(beforeMs_ / 100);
    s_.afterplay = static_cast<int16_t>(afterMs_ / 100);
    s_.colours = colours_;
    if (devices_) {
      s_.recdevno = devices_->recdevno;
      s_.recdevnm = devices_->recdevnm;
      s_.playdevno = devices_->playdevno;
      s_.playdevnm = devices_->playdevnm;
      s_.reclineno = devices_->reclineno;
    }
  }

  OptionsModel& m_;
  Settings& s_;
  Settings::Colours colours_;
  SoundCardList* soundCards_;
  std::function<void()> cancelled_;
  std::optional<SoundCardChoice> devices_;  // chosen in the sound-card dialog
  QLineEdit* buffs_ = nullptr;
  QLineEdit* bps_ = nullptr;
  QCheckBox* playChecks_[7] = {};
  QTabWidget* tabs_;
  QFormLayout* second_ = nullptr;
  QHBoxLayout* columns_ = nullptr;
  std::vector<std::unique_ptr<Choice>> choices_;
  double clipDb_ = 0.0;
  QLineEdit* samples_ = nullptr;
  QLineEdit* level_ = nullptr;
  QCheckBox* flat_ = nullptr;
  QLineEdit* variance_ = nullptr;
  int redrawCursor_ = 0, pageDisplay_ = 0, zoomCentre_ = 1, mono_ = 1;
  int beforeMs_ = 0, afterMs_ = 0;
  Choice* detail_ = nullptr;
  Choice* initial_ = nullptr;
  Choice* revolution_ = nullptr;
  Choice* recTime_ = nullptr;
  QListWidget* colourList_ = nullptr;
  QTreeWidget* shortcutList_ = nullptr;
  std::vector<const Command*> commands_;
  QCheckBox* shift_ = nullptr;
  QCheckBox* ctrl_ = nullptr;
  QCheckBox* alt_ = nullptr;
  QComboBox* key_ = nullptr;
};

}  // namespace

std::unique_ptr<FormDialog> makeOptionsDialog(OptionsModel& model, QWidget* parent,
                                              const DialogEnv& env) {
  return std::make_unique<OptionsForm>(model, parent, env);
}

}  // namespace tolmar::ui
