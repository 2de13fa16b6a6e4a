#pragma once
// The tool bar (Panel1) and the macro button bar (Panel2). Tool buttons run rows of the command
// table, so each follows its menu item's enabling; the macro bar lays out 12 buttons with a
// shift button, or 24 or 48 when the window is wide enough for them.

#include <QWidget>
#include <functional>
#include <string_view>
#include <vector>

#include "editor/macro_dialogs.h"

class QHBoxLayout;
class QToolButton;

namespace tolmar {

struct Command;
struct CommandState;
class MacroTable;

struct ToolButtonSpec {
  std::string_view handler;  // the command-table row it runs; "-" for a gap
  std::string_view text;
};
// The tool bar's buttons in order.
const std::vector<ToolButtonSpec>& toolButtonSpecs();

class ToolBar : public QWidget {
  Q_OBJECT
 public:
  // `run` performs a command the way its menu item does.
  explicit ToolBar(std::function<void(const Command&)> run, QWidget* parent = nullptr);
  // Enabling from the command state, and check marks from `checked`. While playing only Stop
  // can be pressed (the status panel's pause button stands in for the others).
  void follow(const CommandState& state, const std::function<bool(const Command&)>& checked);
  QToolButton* button(std::string_view handler) const;
  // As high as the buttons, and no wider than the window makes it.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QWidget* row_ = nullptr;
  struct Entry {
    const Command* command;
    QToolButton* button;
  };
  std::vector<Entry> entries_;
};

class MacroBar : public QWidget {
  Q_OBJECT
 public:
  // `run` runs a macro slot.
  MacroBar(MacroTable& macros, std::function<void(int)> run, QWidget* parent = nullptr);
  // The widest layout (48, 24 or 12 buttons) that gives each button kMinButtonWidth pixels.
  static int layoutFor(int width);
  static constexpr int kMinButtonWidth = 40;
  void follow(const CommandState& state);
  int buttonCount() const { return model_.buttonCount(); }
  QToolButton* button(int k) const { return buttons_[static_cast<size_t>(k - 1)]; }
  QToolButton* shiftButton() const { return shift_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void build(int count);
  void refreshTexts();

  MacroTable& macros_;
  std::function<void(int)> run_;
  MacroButtonBar model_;
  QHBoxLayout* row_ = nullptr;
  std::vector<QToolButton*> buttons_;
  QToolButton* shift_ = nullptr;
};

}  // namespace tolmar
