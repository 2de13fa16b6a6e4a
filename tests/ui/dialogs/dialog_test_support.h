#pragma once
// Driving dialogs offscreen: screenshots, and answering the message boxes they open.

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace tolmar::ui::test {

// Saves the widget as <screenshot dir>/<name>.png and returns the path (empty on failure).
QString screenshot(QWidget* widget, const QString& name);

// Records the text of every message box that opens while `action` runs, answering each with
// `answer` (the box's default button when none of that kind exists).
class MessageCatcher {
 public:
  explicit MessageCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok);
  ~MessageCatcher();
  const std::vector<QString>& texts() const { return texts_; }

 private:
  void poll();
  QMessageBox::StandardButton answer_;
  std::vector<QString> texts_;
  class QTimer* timer_;
};

// Runs `drive` once on the first modal dialog (other than a message box) that opens while this
// object lives: how a test answers a dialog the code under test opens with exec(). With
// `accepts`, only on the first such dialog it accepts (one driver per dialog of a sequence).
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> drive,
                       std::function<bool(QWidget*)> accepts = {});
  ~ModalDriver();
  bool ran() const { return ran_; }

 private:
  std::function<void(QWidget*)> drive_;
  std::function<bool(QWidget*)> accepts_;
  bool ran_ = false;
  class QTimer* timer_;
};

// Shows the dialog and waits until it is exposed, so keys and focus behave as for a user.
void showAndWait(QWidget* dialog);
// Activates a dialog that is already showing and waits until a field of it has the focus, as
// it has when a user starts typing.
void waitForFocus(QWidget* dialog);
// Types text into the focused widget, then presses Tab.
void typeAndTab(QWidget* dialog, const QString& text);
// The widget that has the keyboard focus inside the dialog.
QWidget* focused(QWidget* dialog);

// The first child of kind W whose text is `text` (a button, a check box), or null.
template <class W>
W* byText(QWidget* dialog, const QString& text) {
  for (W* w : dialog->findChildren<W*>())
    if (w->text() == text) return w;
  return nullptr;
}

}  // namespace tolmar::ui::test
