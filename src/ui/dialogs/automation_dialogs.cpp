#include "ui/dialogs/automation_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStorageInfo>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "editor/macro_dialogs.h"

namespace tolmar::ui {

namespace {

QStringList qlist(const std::vector<std::string>& items) {
  QStringList list;
  for (const std::string& s : items) list << QString::fromStdString(s);
  return list;
}

// A list on which Enter acts on the current row instead of pressing the dialog's default
// button.
class ActionList : public QListWidget {
 public:
  std::function<void()> onEnter;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && onEnter) {
      onEnter();
      e->accept();
      return;
    }
    QListWidget::keyPressEvent(e);
  }
};

// ---- User Macros Setup ----

class MacroSetupForm : public FormDialog {
 public:
  MacroSetupForm(MacroSetupModel& m, QWidget* parent, const DialogEnv& env)
      : FormDialog(MacroSetupModel::kCaption, parent, env), m_(m) {
    auto* grid = new QGridLayout;
    outer()->insertLayout(0, grid);

    slot_ = new QComboBox;
    slot_->addItems(qlist(MacroSetupModel::slotCaptions()));
    slot_->setCurrentIndex(m_.slot() - 1);
    auto* slotLabel = new QLabel("Macro:");
    slotLabel->setBuddy(slot_);
    name_ = new QLineEdit;
    auto* nameLabel = new QLabel("Name:");
    nameLabel->setBuddy(name_);
    auto* top = new QHBoxLayout;
    top->addWidget(slotLabel);
    top->addWidget(slot_);
    top->addSpacing(12);
    top->addWidget(nameLabel);
    top->addWidget(name_, 1);
    grid->addLayout(top, 0, 0, 1, 3);

    operations_ = new ActionList;
    operations_->addItems(qlist(m_.operations()));
    operations_->setCurrentRow(0);
    operations_->setMinimumSize(300, 320);
    operations_->onEnter = [this] { add(); };
    auto* opsLabel = new QLabel("Available Operations:");
    opsLabel->setBuddy(operations_);
    grid->addWidget(opsLabel, 1, 0);
    grid->addWidget(operations_, 2, 0);

    auto* middle = new QVBoxLayout;
    auto* add = new QPushButton("Add  >>");
    auto* refresh = new QPushButton("Add Refresh >>");
    auto* call = new QPushButton("Call Macro >>");
    silent_ = new QCheckBox("Silent Mode");
    for (QWidget* w : std::initializer_list<QWidget*>{add, refresh, call, silent_})
      middle->addWidget(w);
    middle->addStretch(1);
    grid->addLayout(middle, 2, 1);

    steps_ = new QListWidget;
    steps_->setMinimumWidth(300);
    auto* stepsLabel = new QLabel("Macro Steps:");
    stepsLabel->setBuddy(steps_);
    grid->addWidget(stepsLabel, 1, 2);
    grid->addWidget(steps_, 2, 2);
    auto* stepButtons = new QHBoxLayout;
    auto* remove = new QPushButton("Remove");
    auto* up = new QPushButton("Up");
    auto* down = new QPushButton("Down");
    up->setToolTip("Move the step up");
    down->setToolTip("Move the step down");
    for (QPushButton* b : {remove, up, down}) stepButtons->addWidget(b);
    stepButtons->addStretch(1);
    grid->addLayout(stepButtons, 3, 2);

    addButtons("Done", "", "macrosetup");
    okButton()->setDefault(false);
    okButton()->setAutoDefault(false);
    auto* store = new QPushButton("Store");
    addExtraButton(store, 1);

    connect(slot_, &QComboBox::activated, this, [this](int index) { selectSlot(index + 1); });
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_.setName(t.toStdString()); });
    connect(silent_, &QCheckBox::toggled, this, [this](bool on) { m_.setSilent(on); });
    connect(add, &QPushButton::clicked, this, [this] { this->add(); });
    connect(operations_, &QListWidget::itemDoubleClicked, this, [this] { this->add(); });
    connect(refresh, &QPushButton::clicked, this, [this] {
      m_.addRefresh();
      showSteps(static_cast<int>(m_.steps().size()) - 1);
    });
    connect(call, &QPushButton::clicked, this, [this] {
      if (m_.callMacro()) showSteps(static_cast<int>(m_.steps().size()) - 1);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
      const int row = steps_->currentRow();
      if (m_.remove(row)) showSteps(std::min(row, static_cast<int>(m_.steps().size()) - 1));
    });
    connect(up, &QPushButton::clicked, this, [this] {
      const int row = steps_->currentRow();
      if (m_.moveUp(row)) showSteps(row - 1);
    });
    connect(down, &QPushButton::clicked, this, [this] {
      const int row = steps_->currentRow();
      if (m_.moveDown(row)) showSteps(row + 1);
    });
    connect(store, &QPushButton::clicked, this, [this] { m_.store(); });
    showSlot();
  }

  void accept() override {
    if (!m_.done()) return;
    FormDialog::accept();
  }
  // Closing the window is Done: the macros are written either way.
  void reject() override {
    if (!m_.done()) return;
    FormDialog::reject();
  }

 private:
  void add() {
    if (m_.add(operations_->currentRow())) showSteps(static_cast<int>(m_.steps().size()) - 1);
  }
  void selectSlot(int slot) {
    m_.selectSlot(slot);
    // Cancel in "Save Changes?" keeps the slot the model stayed on.
    slot_->setCurrentIndex(m_.slot() - 1);
    showSlot();
  }
  void showSlot() {
    name_->setText(QString::fromStdString(m_.name()));
    showSteps(m_.steps().empty() ? -1 : 0);
  }
  void showSteps(int current) {
    steps_->clear();
    steps_->addItems(qlist(m_.steps()));
    if (current >= 0) steps_->setCurrentRow(current);
  }

  MacroSetupModel& m_;
  QComboBox* slot_;
  QLineEdit* name_;
  ActionList* operations_;
  QCheckBox* silent_;
  QListWidget* steps_;
};

// ---- Batch Mode ----

class BatchModeForm : public FormDialog {
 public:
  BatchModeForm(BatchModeModel& m, QWidget* parent, const DialogEnv& env)
      : FormDialog(BatchModeModel::kCaption, parent, env), m_(m) {
    title_ = new QLabel;
    title_->setObjectName("pageTitle");
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    pages_ = new QStackedWidget;
    outer()->insertWidget(0, title_);
    outer()->insertWidget(1, pages_, 1);
    buildFilesPage();
    buildMacroPage();
    buildProgressPage();

    addButtons("Close", "", "batchmode");
    okButton()->setDefault(false);
    okButton()->setAutoDefault(false);
    back_ = new QPushButton("<< Back");
    next_ = new QPushButton;
    next_->setDefault(true);
    addExtraButton(back_, 1);
    addExtraButton(next_, 2);
    connect(back_, &QPushButton::clicked, this, [this] {
      m_.back();
      showPage();
    });
    connect(next_, &QPushButton::clicked, this, [this] { next(); });
    setDirectory(QDir::currentPath());
    showPage();
  }

  // Nothing closes the dialog while the batch runs.
  void reject() override {
    if (running_) return;
    FormDialog::reject();
  }

 private:
  void buildFilesPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    drive_ = new QComboBox;
    QStringList roots{"/"};
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
      if (v.isValid() && v.isReady() && !roots.contains(v.rootPath())) roots << v.rootPath();
    drive_->addItems(roots);
    auto* driveLabel = new QLabel("Drive:");
    driveLabel->setBuddy(drive_);
    grid->addWidget(driveLabel, 0, 0);
    grid->addWidget(drive_, 1, 0);
    directoryText_ = new QLabel;
    grid->addWidget(directoryText_, 4, 0, 1, 4);
    directories_ = new ActionList;
    directories_->onEnter = [this] { enterDirectory(); };
    directories_->setMinimumWidth(170);
    auto* directoriesLabel = new QLabel("Directories:");
    directoriesLabel->setBuddy(directories_);
    grid->addWidget(directoriesLabel, 2, 0);
    grid->addWidget(directories_, 3, 0);
    auto* filesLabel = new QLabel("Files:");
    files_ = new ActionList;
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    files_->setMinimumWidth(170);
    files_->onEnter = [this] { selectFiles(); };
    filesLabel->setBuddy(files_);
    grid->addWidget(filesLabel, 2, 1);
    grid->addWidget(files_, 3, 1);
    auto* select = new QPushButton("Select");
    auto* remove = new QPushButton("Remove");
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(select);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 2);
    auto* pathsLabel = new QLabel("Files to Process:");
    paths_ = new QListWidget;
    paths_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    paths_->setMinimumWidth(280);
    pathsLabel->setBuddy(paths_);
    grid->addWidget(pathsLabel, 2, 3);
    grid->addWidget(paths_, 3, 3);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 3);
    pages_->addWidget(page);

    connect(drive_, &QComboBox::activated, this,
            [this](int i) { setDirectory(drive_->itemText(i)); });
    connect(directories_, &QListWidget::itemDoubleClicked, this, [this] { enterDirectory(); });
    connect(files_, &QListWidget::itemDoubleClicked, this, [this] { selectFiles(); });
    connect(select, &QPushButton::clicked, this, [this] { selectFiles(); });
    connect(remove, &QPushButton::clicked, this, [this] {
      std::vector<int> rows;
      for (QListWidgetItem* item : paths_->selectedItems()) rows.push_back(paths_->row(item));
      m_.removePaths(rows);
      showPaths();
    });
  }

  void buildMacroPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel("Macros:");
    macros_ = new QListWidget;
    label->setBuddy(macros_);
    layout->addWidget(label);
    layout->addWidget(macros_, 1);
    auto* row = new QHBoxLayout;
    auto* define = new QPushButton("Define Macro...");
    continue_ = new QCheckBox("Continue Macro Execution After Errors");
    continue_->setChecked(m_.continueOnError);
    row->addWidget(define);
    row->addWidget(continue_);
    row->addStretch(1);
    layout->addLayout(row);
    pages_->addWidget(page);
    connect(macros_, &QListWidget::currentRowChanged, this, [this](int row) {
      m_.chooseMacro(row);
      showButtons();
    });
    connect(define, &QPushButton::clicked, this, [this] {
      m_.defineMacro();
      showMacros();
      showButtons();
    });
    connect(continue_, &QCheckBox::toggled, this, [this](bool on) { m_.continueOnError = on; });
  }

  void buildProgressPage() {
    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setMinimumSize(560, 260);
    pages_->addWidget(log_);
  }

  void setDirectory(const QString& path) {
    directory_ = QDir(path).absolutePath();
    directoryText_->setText(directory_);
    QDir dir(directory_);
    directories_->clear();
    if (!dir.isRoot()) directories_->addItem("..");
    directories_->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name));
    if (directories_->count() > 0) directories_->setCurrentRow(0);
    files_->clear();
    dir.setNameFilters({"*.wav", "*.WAV", "*.Wav"});
    files_->addItems(dir.entryList(QDir::Files, QDir::Name));
    if (files_->count() > 0) files_->setCurrentRow(0);
  }

  void enterDirectory() {
    QListWidgetItem* item = directories_->currentItem();
    if (!item) return;
    setDirectory(QDir(directory_).filePath(item->text()));
  }

  void selectFiles() {
    std::vector<std::string> names;
    for (int i = 0; i < files_->count(); ++i)
      if (files_->item(i)->isSelected()) names.push_back(files_->item(i)->text().toStdString());
    if (names.empty()) return;
    m_.select(directory_.toStdString(), names);
    showPaths();
  }

  void showPaths() {
    paths_->clear();
    paths_->addItems(qlist(m_.paths()));
    showButtons();
  }

  void showMacros() {
    macros_->blockSignals(true);
    macros_->clear();
    macros_->addItems(qlist(m_.macroLines()));
    macros_->setCurrentRow(m_.chosenMacroLine());
    macros_->blockSignals(false);
  }

  void next() {
    const bool run = m_.page() == BatchModeModel::Page::PickMacro;
    if (run) {
      if (!m_.canGoNext()) return;
      // The log page shows while the files are processed.
      pages_->setCurrentIndex(2);
      title_->setText("3. Batch Progress");
      log_->setPlainText("");
      running_ = true;
      showButtons();
      QApplication::processEvents();
    }
    // The batch lets window messages run between its steps: the log grows on screen.
    QTimer follow;
    size_t shown = 0;
    connect(&follow, &QTimer::timeout, this, [this, &shown] {
      const auto& lines = m_.log();
      for (; shown < lines.size(); ++shown)
        log_->appendPlainText(QString::fromStdString(lines[shown]));
    });
    if (run) follow.start(100);
    m_.next();
    follow.stop();
    running_ = false;
    showPage();
  }

  void showPage() {
    title_->setText(QString::fromStdString(m_.pageTitle()));
    pages_->setCurrentIndex(static_cast<int>(m_.page()) - 1);
    if (m_.page() == BatchModeModel::Page::PickMacro) showMacros();
    if (m_.page() == BatchModeModel::Page::Progress) log_->setPlainText(qlist(m_.log()).join('\n'));
    showPaths();
    QWidget* first = m_.page() == BatchModeModel::Page::SelectFiles ? files_
                     : m_.page() == BatchModeModel::Page::PickMacro ? static_cast<QWidget*>(macros_)
                                                                    : log_;
    first->setFocus();
  }

  void showButtons() {
    next_->setText(QString::fromStdString(m_.nextCaption()));
    next_->setVisible(m_.page() != BatchModeModel::Page::Progress);
    next_->setEnabled(!running_ && m_.canGoNext());
    back_->setEnabled(!running_ && m_.canGoBack());
    okButton()->setEnabled(!running_);
  }

  BatchModeModel& m_;
  QLabel* title_;
  QStackedWidget* pages_;
  QComboBox* drive_ = nullptr;
  QLabel* directoryText_ = nullptr;
  ActionList* directories_ = nullptr;
  ActionList* files_ = nullptr;
  QListWidget* paths_ = nullptr;
  QListWidget* macros_ = nullptr;
  QCheckBox* continue_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QString directory_;
  bool running_ = false;
};

}  // namespace

std::unique_ptr<FormDialog> makeMacroSetupDialog(MacroSetupModel& m, QWidget* parent,
                                                 const DialogEnv& env) {
  return std::make_unique<MacroSetupForm>(m, parent, env);
}

std::unique_ptr<FormDialog> makeBatchModeDialog(BatchModeModel& m, QWidget* parent,
                                                const DialogEnv& env) {
  return std::make_unique<BatchModeForm>(m, parent, env);
}

}  // namespace tolmar::ui
