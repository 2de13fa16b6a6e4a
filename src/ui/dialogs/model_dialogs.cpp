// The small dialogs over the core's plain models: file header repairs, insertions, replacement
// data, click navigation, cue points and the pickers.

#include "ui/dialogs/model_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <climits>

#include "document/wav_format.h"
#include "editor/block_commands.h"
#include "editor/cue_commands.h"
#include "editor/declick_commands.h"
#include "editor/document_commands.h"
#include "editor/macro_dialogs.h"
#include "editor/replace.h"

namespace tolmar::ui {

namespace {

QString q(const char* text) {
  return QString::fromUtf8(text);
}
QString q(const std::string& text) {
  return QString::fromStdString(text);
}

// A list the user picks one line from; Enter or a double-click picks the current line.
class PickListDialog : public FormDialog {
 public:
  PickListDialog(const QString& caption, QWidget* parent, const DialogEnv& env,
                 const std::vector<std::string>& lines, int& chosen)
      : FormDialog(caption, parent, env), chosen_(chosen) {
    list_ = new QListWidget;
    for (const auto& line : lines) list_->addItem(q(line));
    if (!lines.empty()) list_->setCurrentRow(std::clamp(chosen, 0, int(lines.size()) - 1));
    form()->addRow(list_);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
    addCheckOnOk([this]() -> std::optional<QString> {
      if (list_->currentRow() < 0) return QString("Please choose an entry from the list");
      return std::nullopt;
    });
    afterStore = [this] { chosen_ = list_->currentRow(); };
  }
  QListWidget* list() const { return list_; }

 private:
  int& chosen_;
  QListWidget* list_;
};

}  // namespace

// ---- Files ----

DialogPtr makeRewriteHeaderDialog(RewriteHeaderModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kRewriteHeaderCaption), parent, env);
  for (const char* line : kRewriteHeaderLines) d->addNote(q(line));
  auto rateIndex = std::make_shared<int>(m.rate == 48000 ? 1 : 0);
  d->addRadios(q(kRewriteHeaderRateGroup), *rateIndex,
               {q(kRewriteHeaderRates[0]), q(kRewriteHeaderRates[1])});
  d->addButtons(q(kRewriteHeaderOk), q(kRewriteHeaderCancel));
  d->afterStore = [&m, rateIndex] { m.rate = *rateIndex == 1 ? 48000 : 44100; };
  return d;
}

DialogPtr makeUnsupportedFormatDialog(UnsupportedFormatModel& m, QWidget* parent,
                                      const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kUnsupportedFormatCaption), parent, env);
  d->addNote(q(m.path));
  d->addNote(q(kUnsupportedFormatText));
  d->addNote(q(kUnsupportedFormatSummary));
  for (const auto& line : m.lines) d->addNote(q(line));
  // The OK button is the way to the header rewrite; Close is the cautious default.
  d->addButtons(q(kUnsupportedFormatRewrite), q(kUnsupportedFormatClose));
  d->okButton()->setDefault(false);
  d->cancelButton()->setDefault(true);
  d->cancelButton()->setFocus();
  FormDialog* outer = d.get();
  d->addCheckOnOk([outer, &m, env]() -> std::optional<QString> {
    RewriteHeaderModel rewrite{m.rewriteRate};
    auto inner = makeRewriteHeaderDialog(rewrite, outer, env);
    if (inner->exec() != QDialog::Accepted) {
      outer->reject();
      return QString();
    }
    m.rewriteRate = rewrite.rate;
    return std::nullopt;
  });
  return d;
}

DialogPtr makeConfirmTruncationDialog(ConfirmTruncationModel& m, QWidget* parent,
                                      const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kConfirmTruncationCaption), parent, env);
  d->addNote(q(m.intro));
  d->addNote(q(m.characters));
  d->addNote(q(kConfirmTruncationHexLabel));
  d->addNote(q(m.hex));
  d->addButtons(q(kConfirmTruncationOk), q(kConfirmTruncationCancel));
  return d;
}

// ---- Deletions, insertions, replacement ----

DialogPtr makeSetInsertionLengthDialog(SetInsertionLengthModel& m, QWidget* parent,
                                       const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kSetInsertionLengthCaption), parent, env);
  d->addText(q(kSetInsertionLengthLabel), m.length);
  auto type = std::make_shared<int>(m.exactSamples ? 1 : 0);
  d->addRadios(q(kSetInsertionLengthGroup), *type,
               {q(kSetInsertionLengthTime), q(kSetInsertionLengthSamples)});
  d->addButtons("OK", "Cancel", "setinsertionlength");
  d->afterStore = [&m, type] { m.exactSamples = *type == 1; };
  return d;
}

DialogPtr makeAddSurroundingSilenceDialog(AddSurroundingSilenceModel& m, QWidget* parent,
                                          const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kAddSurroundingSilenceCaption), parent, env);
  // Ten minutes of silence is far beyond any lead-in; the bound keeps the frames in range.
  d->addInt(q(kAddSurroundingSilenceStart), m.startMs, 0, 600000);
  d->addInt(q(kAddSurroundingSilenceEnd), m.endMs, 0, 600000);
  d->addButtons();
  return d;
}

DialogPtr makeSelectReplacementDataDialog(SelectReplacementDataModel& m, QWidget* parent,
                                          const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kSelectReplacementDataCaption), parent, env);
  d->addInt64(q(kReplacementStartLabel), m.startSample, 1, INT32_MAX);
  auto* group = new QButtonGroup(d.get());
  auto* region = new QRadioButton(q(kReplaceSelectedRegionText));
  auto* count = new QRadioButton(q(kReplaceNumberOfSamplesText));
  group->addButton(region, 0);
  group->addButton(count, 1);
  (m.replaceCount ? count : region)->setChecked(true);
  d->form()->addRow(region);
  QLineEdit* countEdit = d->addInt64Row(count, m.sampleCount, 1, INT32_MAX);
  countEdit->setEnabled(m.replaceCount);
  QObject::connect(count, &QRadioButton::toggled, countEdit, &QWidget::setEnabled);
  d->addButtons("OK", "Cancel", "selectreplacementdata");
  d->afterStore = [&m, count] { m.replaceCount = count->isChecked(); };
  return d;
}

// ---- Clicks ----

FindClicksResultWindow::FindClicksResultWindow(int32_t count, std::function<bool()> remove,
                                               QWidget* parent, const DialogEnv& env)
    : FormDialog("Find Clicks Result", parent, env), count_(count), remove_(std::move(remove)) {
  addNote(q(findClicksResultText(count)));
  addButtons("OK", "");
  removeButton_ = new QPushButton("Remove");
  removeButton_->setToolTip("Remove All Clicks");
  removeButton_->setEnabled(count >= 1);
  addExtraButton(removeButton_);
  QObject::connect(removeButton_, &QPushButton::clicked, this, [this] {
    if (count_ >= 1 && remove_ && remove_()) accept();
  });
}

void FindClicksResultWindow::setRemoveAvailable(bool available) {
  removeButton_->setEnabled(available && count_ >= 1);
}

DialogPtr makeFindClicksResultDialog(FindClicksResultModel& m, QWidget* parent,
                                     const DialogEnv& env) {
  return std::make_unique<FindClicksResultWindow>(
      m.count,
      [&m] {
        m.removeRequested = true;
        return true;
      },
      parent, env);
}

DialogPtr makeGotoClickDialog(GotoClickModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Goto Click", parent, env);
  d->addText("Click Number:", m.number);
  d->addButtons();
  return d;
}

// ---- Cue points ----

DialogPtr makeAddCueDialog(AddCueModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Add Cue Point", parent, env);
  auto* box = new QGroupBox("Cue Point Type ");
  auto* grid = new QGridLayout(box);
  auto* group = new QButtonGroup(box);
  const QStringList labels{"New Track with Safety Margin of:", "Track, index 1", "Track, index 0",
                           "Index"};
  for (int i = 0; i < labels.size(); ++i) {
    auto* radio = new QRadioButton(labels[i]);
    group->addButton(radio, i);
    grid->addWidget(radio, i, 0);
    if (i == int(m.type)) radio->setChecked(true);
  }
  d->form()->addRow(box);
  // The margin edit sits beside its radio button.
  auto* margin = d->addUnplacedInt("Safety Margin", m.marginMs, 0, 60000);
  auto* row = new QWidget;
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  margin->setMaximumWidth(70);
  h->addWidget(margin);
  h->addWidget(new QLabel("ms"));
  grid->addWidget(row, 0, 1);
  d->addCheck("Set Start Mark", m.setStartMark);
  d->addButtons();
  d->afterStore = [&m, group] { m.type = AddCueModel::Type(std::max(0, group->checkedId())); };
  return d;
}

DialogPtr makeRegularCuesDialog(RegularCuesModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Add Regular Cue Points", parent, env);
  d->addInt("Add Cue Points Every", m.seconds, 1, 6000);
  d->addNote("Seconds Within the Selected Region");
  auto type = std::make_shared<int>(m.indexes ? 1 : 0);
  d->addRadios("Type of Cue Points to Add ", *type, {"Tracks", "Indexes"});
  d->addButtons();
  d->afterStore = [&m, type] { m.indexes = *type == 1; };
  return d;
}

DialogPtr makeGotoCueDialog(GotoCueModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<PickListDialog>("Goto Cue Point", parent, env, m.lines, m.chosen);
  d->addCheck("Set Start Mark", m.setStartMark);
  d->addButtons();
  return d;
}

DialogPtr makeDisplayTrackDialog(DisplayTrackModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<PickListDialog>("Display Track", parent, env, m.lines, m.chosen);
  d->addButtons();
  return d;
}

DialogPtr makeCdTextDialog(CdTextModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("CD Text Setup", parent, env);
  d->addText("Overall Performer:", m.discPerformer);
  d->addText("Overall Title:", m.discTitle);
  auto* grid = new QTableWidget(int(m.rows.size()), 3);
  grid->setHorizontalHeaderLabels({"Track", "Performer", "Title"});
  for (size_t i = 0; i < m.rows.size(); ++i) {
    auto* track = new QTableWidgetItem(QString::number(i + 1));
    track->setFlags(Qt::ItemIsEnabled);
    grid->setItem(int(i), 0, track);
    grid->setItem(int(i), 1, new QTableWidgetItem(q(m.rows[i].performer)));
    grid->setItem(int(i), 2, new QTableWidgetItem(q(m.rows[i].title)));
  }
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  grid->setMinimumWidth(460);
  // Tab leaves the grid; the arrow keys move between its cells.
  grid->setTabKeyNavigation(false);
  d->form()->addRow(grid);
  d->addButtons();
  d->afterStore = [&m, grid] {
    for (size_t i = 0; i < m.rows.size(); ++i) {
      m.rows[i].performer = grid->item(int(i), 1)->text().toStdString();
      m.rows[i].title = grid->item(int(i), 2)->text().toStdString();
    }
  };
  return d;
}

DialogPtr makeExistingCueFileDialog(ExistingCueFileModel& m, QWidget* parent,
                                    const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Existing Cue File", parent, env);
  d->addNote(q(m.text));
  d->addButtons("Append", "Cancel");
  auto* overwrite = new QPushButton("Overwrite");
  d->addExtraButton(overwrite, 1);
  FormDialog* dialog = d.get();
  QObject::connect(overwrite, &QPushButton::clicked, dialog, [dialog, &m] {
    m.choice = ExistingCueFileModel::Overwrite;
    dialog->accept();
  });
  m.choice = ExistingCueFileModel::Append;
  return d;
}

// ---- Block repairs ----

// Both texts are parsed by the command (a whole number and a time), which gives their messages.
DialogPtr makeCompatParamsDialog(CompatParamsModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>(q(kCompatParamsCaption), parent, env);
  d->addText(q(kCompatParamsToleranceLabel), m.relativeSampleSize);
  d->addText(q(kCompatParamsTimeLimitLabel), m.timeLimit);
  d->addCheck(q(kCompatParamsForwardsLabel), m.forwards);
  d->addButtons("OK", "Cancel", kCompatParamsHelpTopic);
  return d;
}

// ---- Pickers ----

DialogPtr makePresetPickerDialog(PresetPickerModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<PickListDialog>("Choose Preset", parent, env, m.names, m.chosen);
  d->addButtons();
  return d;
}

DialogPtr makeMacroPickerDialog(MacroPickerModel& m, QWidget* parent, const DialogEnv& env) {
  auto d = std::make_unique<PickListDialog>("Choose Macro", parent, env, m.lines, m.chosen);
  d->addButtons();
  return d;
}

}  // namespace tolmar::ui
