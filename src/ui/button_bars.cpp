#include "ui/button_bars.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QToolButton>
#include <algorithm>

#include "config/macro_store.h"
#include "editor/command_table.h"

namespace tolmar {

const std::vector<ToolButtonSpec>& toolButtonSpecs() {
  static const std::vector<ToolButtonSpec> specs = {
      {"OpenWAVFile1Click", "Open"},
      {"Save1Click", "Save"},
      {"-", ""},
      {"Undo1Click", "Undo"},
      {"Redo1Click", "Redo"},
      {"-", ""},
      {"BeginFileBtnClick", "|<"},
      {"PrevPageBtnClick", "<<"},
      {"PrevFragBtnClick", "<"},
      {"NextFragBtnClick", ">"},
      {"NextPageBtnClick", ">>"},
      {"EndFileBtnClick", ">|"},
      {"-", ""},
      {"ZoomIn1Click", "+"},
      {"ZoomOut1Click", "-"},
      {"QuickHorzBtnClick", "1:1"},
      {"EntireFileBtnClick", "All"},
      {"ShowSelBtnClick", "[ ]"},
      {"GoSelStartBtnClick", "[<"},
      {"EndofSelection1Click", ">]"},
      {"SelectDispBtnClick", "Sel"},
      {"-", ""},
      {"RetainRegion1Click", "Rem"},
      {"RestoreRegion1Click", "Rst"},
      {"MarkRegion1Click", "Mark"},
      {"MaxAmplitudeBtnClick", "Max"},
      {"-", ""},
      {"PlaySelectionBtnClick", "Play"},
      {"StopPlayBtnClick", "Stop"},
      {"Record1Click", "Rec"},
      {"-", ""},
      {"FindAllClicks1Click", "Find"},
      {"FindNextClick1Click", "Next"},
      {"AddCue1Click", "Cue+"},
      {"RemoveDAOCuePoints1Click", "Cue-"},
      {"ClearAllMarkers1Click", "ClrM"},
  };
  return specs;
}

namespace {

QToolButton* makeButton(const QString& text, const QString& hint, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setText(text);
  b->setToolTip(hint);
  b->setAutoRaise(true);
  return b;
}

}  // namespace

ToolBar::ToolBar(std::function<void(const Command&)> run, QWidget* parent)
    : QWidget(parent), row_(new QWidget(this)) {
  // The buttons sit in a row of their own width: a narrow window cuts the row off at the right
  // instead of squeezing every button.
  auto* row = new QHBoxLayout(row_);
  row->setContentsMargins(2, 1, 2, 1);
  row->setSpacing(1);
  for (const ToolButtonSpec& s : toolButtonSpecs()) {
    if (s.handler == "-") {
      row->addSpacing(8);
      continue;
    }
    const Command* c = findHandler(s.handler);
    if (!c) continue;
    QToolButton* b = makeButton(QString::fromUtf8(s.text.data(), static_cast<int>(s.text.size())),
                                QString::fromStdString(cleanCaption(c->caption)), row_);
    b->setObjectName(QString::fromUtf8(s.handler.data(), static_cast<int>(s.handler.size())));
    b->setCheckable(c->checkItem);
    connect(b, &QToolButton::clicked, this, [run, c] { run(*c); });
    row->addWidget(b);
    entries_.push_back({c, b});
  }
  row->addStretch(1);
  row_->adjustSize();
}

QSize ToolBar::sizeHint() const {
  return {row_->sizeHint().width(), row_->sizeHint().height()};
}

QSize ToolBar::minimumSizeHint() const {
  return {1, row_->sizeHint().height()};
}

void ToolBar::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  row_->setGeometry(0, 0, std::max(e->size().width(), row_->sizeHint().width()), height());
}

void ToolBar::follow(const CommandState& state,
                     const std::function<bool(const Command&)>& checked) {
  for (const Entry& e : entries_) {
    const bool stop = e.command->handler == "StopPlayBtnClick";
    e.button->setEnabled(tolmar::isEnabled(*e.command, state) && (!state.playing || stop));
    // A click toggles the button by itself; the command decides what it shows.
    if (e.command->checkItem) e.button->setChecked(checked(*e.command));
  }
}

QToolButton* ToolBar::button(std::string_view handler) const {
  for (const Entry& e : entries_)
    if (e.command->handler == handler) return e.button;
  return nullptr;
}

MacroBar::MacroBar(MacroTable& macros, std::function<void(int)> run, QWidget* parent)
    : QWidget(parent), macros_(macros), run_(std::move(run)) {
  row_ = new QHBoxLayout(this);
  row_->setContentsMargins(2, 1, 2, 1);
  row_->setSpacing(1);
  build(12);
}

int MacroBar::layoutFor(int width) {
  if (width >= 48 * kMinButtonWidth) return 48;
  if (width >= 24 * kMinButtonWidth) return 24;
  return 12;
}

void MacroBar::build(int count) {
  for (QToolButton* b : buttons_) delete b;
  buttons_.clear();
  delete shift_;
  shift_ = nullptr;
  model_ = MacroButtonBar(count);
  for (int k = 1; k <= model_.buttonCount(); ++k) {
    auto* b = makeButton(QString(), QString(), this);
    b->setObjectName(QStringLiteral("macrobtn%1").arg(k));
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Narrow enough that the bar never holds the window wider than the layout asked for.
    b->setMinimumWidth(8);
    connect(b, &QToolButton::clicked, this, [this, k] {
      if (const int slot = model_.slotOf(k)) run_(slot);
    });
    row_->addWidget(b);
    buttons_.push_back(b);
  }
  if (model_.hasShiftButton()) {
    shift_ = makeButton(QStringLiteral("Shift"), QString(), this);
    shift_->setObjectName(QStringLiteral("shiftbtn"));
    connect(shift_, &QToolButton::clicked, this, [this] {
      model_.toggleShift();
      refreshTexts();
    });
    row_->addWidget(shift_);
  }
  refreshTexts();
}

void MacroBar::refreshTexts() {
  for (int k = 1; k <= model_.buttonCount(); ++k) {
    QToolButton* b = buttons_[static_cast<size_t>(k - 1)];
    b->setText(QString::fromStdString(model_.caption(k)));
    b->setToolTip(QString::fromStdString(model_.hint(k, macros_)));
  }
  if (shift_) shift_->setToolTip(QString::fromStdString(model_.shiftHint()));
}

void MacroBar::follow(const CommandState& state) {
  for (int k = 1; k <= model_.buttonCount(); ++k)
    buttons_[static_cast<size_t>(k - 1)]->setEnabled(model_.enabled(k, macros_, state));
  // Names may have changed in the setup dialog.
  refreshTexts();
}

void MacroBar::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const int count = layoutFor(e->size().width());
  if (count != model_.buttonCount()) build(count);
}

}  // namespace tolmar
