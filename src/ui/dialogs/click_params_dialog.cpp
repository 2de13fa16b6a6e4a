// "Click Detection/Repair Parameters": the widgets over ClickParamsDialog, which owns the bar
// coupling, the presets and what OK and Find write.

#include "ui/dialogs/click_params_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <array>

#include "config/declick_params.h"

namespace tolmar::ui {

namespace {

// Radio order on the form, with the shape each button stands for.
constexpr std::array<std::pair<const char*, ClickShape>, 6> kShapes{{
    {"Hill", ClickShape::Hill},
    {"Spike", ClickShape::Spike},
    {"Instant Rise", ClickShape::InstantRise},
    {"Step", ClickShape::Step},
    {"Blip", ClickShape::Blip},
    {"Model", ClickShape::Model},
}};
constexpr std::array<std::pair<const char*, RepairMethod>, 5> kMethods{{
    {"Linear Interpolation", RepairMethod::Linear},
    {"Bezier Interpolation", RepairMethod::Bezier},
    {"Copy Preceding", RepairMethod::CopyPreceding},
    {"Smooth", RepairMethod::Smooth},
    {"AR Interpolate", RepairMethod::ArInterpolate},
}};

class ClickParamsForm : public FormDialog {
 public:
  ClickParamsForm(ClickParamsDialog& m, QWidget* parent, const DialogEnv& env)
      : FormDialog("Click Detection/Repair Parameters", parent, env), m_(m) {
    auto* columns = new QHBoxLayout;
    outer()->insertLayout(0, columns);

    // Left: the bars, the switches and the radio groups.
    auto* left = new QVBoxLayout;
    columns->addLayout(left, 3);
    auto* bars = new QGridLayout;
    left->addLayout(bars);
    width_ = addBar(bars, 0, "Max/Rel Click Width:", ClickParamsDialog::kClickWidthMin,
                    ClickParamsDialog::kClickWidthMax, 1, 5);
    amp_ = addBar(bars, 1, "Relative Amplitude:", ClickParamsDialog::kRelAmpMin,
                  ClickParamsDialog::kRelAmpMax, ClickParamsDialog::kRelAmpSmallStep,
                  ClickParamsDialog::kRelAmpLargeStep);
    repair_ = addBar(bars, 2, "Click Repair Width:", ClickParamsDialog::kRepairWidthMin,
                     ClickParamsDialog::kRepairWidthMax, 1, 10);
    display_ = addBar(bars, 3, "Click Display Width:", ClickParamsDialog::kDisplayWidthMin,
                      ClickParamsDialog::kDisplayWidthMax, 1, 10);
    connect(width_.bar, &QScrollBar::valueChanged, this, [this](int v) {
      m_.setClickWidth(v);
      refresh();
    });
    connect(amp_.bar, &QScrollBar::valueChanged, this, [this](int v) {
      m_.setRelAmplitude(v);
      refresh();
    });
    connect(repair_.bar, &QScrollBar::valueChanged, this, [this](int v) {
      m_.setRepairWidth(v);
      refresh();
    });
    connect(display_.bar, &QScrollBar::valueChanged, this, [this](int v) {
      m_.setDisplayWidth(v);
      refresh();
    });

    auto* checks = new QHBoxLayout;
    updates_ = new QCheckBox("Include Updates");
    processLeft_ = new QCheckBox("Process Left");
    processRight_ = new QCheckBox("Process Right");
    for (QCheckBox* c : {updates_, processLeft_, processRight_}) checks->addWidget(c);
    left->addLayout(checks);

    auto* groups = new QHBoxLayout;
    left->addLayout(groups);
    auto* methodBox = new QGroupBox("Repair Method ");
    auto* methodLayout = new QGridLayout(methodBox);
    methods_ = new QButtonGroup(this);
    for (int i = 0; i < int(kMethods.size()); ++i) {
      auto* radio = new QRadioButton(kMethods[i].first);
      methods_->addButton(radio, i);
      methodLayout->addWidget(radio, i, 0);
    }
    times_ = new QLineEdit;
    times_->setMaximumWidth(50);
    auto* timesRow = new QHBoxLayout;
    timesRow->addWidget(times_);
    timesRow->addWidget(new QLabel("times"));
    methodLayout->addLayout(timesRow, 3, 1);
    groups->addWidget(methodBox);

    auto* shapeBox = new QGroupBox("Click Shape ");
    auto* shapeLayout = new QVBoxLayout(shapeBox);
    shapes_ = new QButtonGroup(this);
    for (int i = 0; i < int(kShapes.size()); ++i) {
      auto* radio = new QRadioButton(kShapes[i].first);
      shapes_->addButton(radio, i);
      shapeLayout->addWidget(radio);
    }
    groups->addWidget(shapeBox);

    // Right: the presets.
    auto* right = new QVBoxLayout;
    columns->addLayout(right, 2);
    right->addWidget(new QLabel("Presets"));
    presets_ = new QListWidget;
    right->addWidget(presets_, 1);
    name_ = new QLineEdit(QString::fromStdString(m_.name));
    auto* nameLabel = new QLabel("Name:");
    nameLabel->setBuddy(name_);
    right->addWidget(nameLabel);
    right->addWidget(name_);
    auto* presetButtons = new QHBoxLayout;
    auto* add = new QPushButton("Add");
    add->setToolTip("Add New Preset");
    auto* del = new QPushButton("Delete");
    del->setToolTip("Delete Current Preset");
    auto* restore = new QPushButton("Restore");
    restore->setToolTip("Install/Restore Factory Default Presets");
    for (QPushButton* b : {add, del, restore}) {
      b->setAutoDefault(false);
      presetButtons->addWidget(b);
    }
    right->addLayout(presetButtons);

    connect(presets_, &QListWidget::currentRowChanged, this, [this](int row) {
      if (filling_ || row < 0) return;
      m_.presetClicked(row);
      name_->setText(QString::fromStdString(m_.name));
      refresh();
    });
    connect(presets_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
      if (!m_.findEnabled) return;
      m_.presetDoubleClicked(presets_->row(item));
      refresh();
      accept();
    });
    connect(add, &QPushButton::clicked, this, [this] {
      takeControls();
      if (m_.addPreset()) fillPresets();
    });
    connect(del, &QPushButton::clicked, this, [this] {
      m_.selected = presets_->currentRow();
      m_.deletePreset();
      fillPresets();
    });
    connect(restore, &QPushButton::clicked, this, [this] {
      m_.restorePresets();
      fillPresets();
    });

    addButtons("OK", "Cancel", ClickParamsDialog::kHelpTopic);
    find_ = new QPushButton("Save Settings && Find All Clicks");
    find_->setAutoDefault(false);
    find_->setEnabled(m_.findEnabled);
    addExtraButton(find_, 1);
    connect(find_, &QPushButton::clicked, this, [this] {
      m_.choice = ClickParamsDialog::Choice::Find;
      accept();
      // A refused Find leaves the dialog open; a later OK is a plain OK.
      if (result() != QDialog::Accepted) m_.choice = ClickParamsDialog::Choice::Ok;
    });
    m_.choice = ClickParamsDialog::Choice::Ok;

    updates_->setChecked(m_.includeUpdates);
    processLeft_->setChecked(m_.processLeft);
    processRight_->setChecked(m_.processRight);
    times_->setText(QString::fromStdString(m_.timesText));
    fillPresets();
    refresh();
    addCheckOnOk([this]() -> std::optional<QString> {
      takeControls();
      // The model shows the conversion error itself; the dialog stays open for a correction.
      if (!m_.smoothingCount()) return QString();
      return std::nullopt;
    });
  }

  QScrollBar* widthBar() const { return width_.bar; }
  QScrollBar* repairBar() const { return repair_.bar; }

 private:
  struct Bar {
    QScrollBar* bar;
    QLabel* value;
  };
  Bar addBar(QGridLayout* grid, int row, const QString& caption, int min, int max, int small,
             int large) {
    auto* label = new QLabel(caption);
    auto* bar = new QScrollBar(Qt::Horizontal);
    bar->setRange(min, max);
    bar->setSingleStep(small);
    bar->setPageStep(large);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setMinimumWidth(220);
    label->setBuddy(bar);
    auto* value = new QLabel;
    value->setMinimumWidth(36);
    grid->addWidget(label, row, 0);
    grid->addWidget(bar, row, 1);
    grid->addWidget(value, row, 2);
    return {bar, value};
  }

  // The controls from the model: the bars after their coupling, the radio groups, the name.
  void refresh() {
    const std::pair<Bar*, int> bars[] = {{&width_, m_.clickWidth()},
                                         {&amp_, m_.relAmplitude()},
                                         {&repair_, m_.repairWidth()},
                                         {&display_, m_.displayWidth()}};
    for (auto [bar, value] : bars) {
      QSignalBlocker block(bar->bar);
      bar->bar->setValue(value);
      bar->value->setText(QString::number(value));
    }
    for (int i = 0; i < int(kShapes.size()); ++i)
      if (kShapes[i].second == m_.shape) shapes_->button(i)->setChecked(true);
    for (int i = 0; i < int(kMethods.size()); ++i)
      if (kMethods[i].second == m_.method) methods_->button(i)->setChecked(true);
    times_->setText(QString::fromStdString(m_.timesText));
  }

  // What the model does not follow live: switches, radio choices, the times and name boxes.
  void takeControls() {
    m_.includeUpdates = updates_->isChecked();
    m_.processLeft = processLeft_->isChecked();
    m_.processRight = processRight_->isChecked();
    if (shapes_->checkedId() >= 0) m_.shape = kShapes[shapes_->checkedId()].second;
    if (methods_->checkedId() >= 0) m_.method = kMethods[methods_->checkedId()].second;
    m_.timesText = times_->text().toStdString();
    m_.name = name_->text().toStdString();
  }

  void fillPresets() {
    filling_ = true;
    presets_->clear();
    for (const auto& n : m_.presetNames()) presets_->addItem(QString::fromStdString(n));
    presets_->setCurrentRow(-1);
    filling_ = false;
  }

  ClickParamsDialog& m_;
  Bar width_{}, amp_{}, repair_{}, display_{};
  QCheckBox* updates_;
  QCheckBox* processLeft_;
  QCheckBox* processRight_;
  QButtonGroup* methods_;
  QButtonGroup* shapes_;
  QLineEdit* times_;
  QListWidget* presets_;
  QLineEdit* name_;
  QPushButton* find_;
  bool filling_ = false;
};

}  // namespace

std::unique_ptr<FormDialog> makeClickParamsDialog(ClickParamsDialog& m, QWidget* parent,
                                                  const DialogEnv& env) {
  return std::make_unique<ClickParamsForm>(m, parent, env);
}

}  // namespace tolmar::ui
