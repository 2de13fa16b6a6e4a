#pragma once
// The base of every parameter dialog: controls bound to fields of a plain model. The controls
// show the fields when the dialog opens; OK checks every field first (a value out of its range
// gets a message naming the field and its range, and nothing is written), then writes them all
// into the model in place. Cancel and Escape write nothing.

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_io.h"

class QAbstractButton;
class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QVBoxLayout;

namespace tolmar {
class SoundCardList;
}

namespace tolmar::ui {

// What every dialog needs from the window that shows it.
struct DialogEnv {
  // Opens a help topic ("clickparams"); none: Help buttons do nothing.
  std::function<void(const std::string& topic)> showHelp;
  // Where each dialog was last closed, by its key; none: dialogs open at their default place.
  DialogPositions* positions = nullptr;
  // The sound cards the sound-card dialog lists; none: it lists no devices.
  SoundCardList* soundCards = nullptr;
  // Sets the process-wide dialog-cancelled flag, which stops a running macro before its next
  // step; none: nothing to stop.
  std::function<void()> cancelled = nullptr;
};

// The top-left corner at which a window with this frame shows enough of itself (its title bar)
// on some screen to be dragged: the frame's own corner when it does, else the corner that
// brings it just inside the primary screen.
QPoint keepOnScreen(const QRect& frame);

// How an edit field treats a number outside its range: refuse it with a message, or bring it
// to the nearest bound (where the setting is documented to be clamped).
enum class OutOfRange { Refuse, Clamp };

class FormDialog : public QDialog {
 public:
  FormDialog(const QString& caption, QWidget* parent, DialogEnv env = {});

  // Where the next controls go: the dialog's main form, or a page of the dialog's own.
  QFormLayout* form() const { return form_; }
  void setForm(QFormLayout* form) { form_ = form; }

  // Integer and float edit fields. The label names the field in messages (without its colon).
  QLineEdit* addInt(const QString& label, int& target, int min, int max,
                    OutOfRange mode = OutOfRange::Refuse);
  QLineEdit* addInt16(const QString& label, int16_t& target, int min, int max,
                      OutOfRange mode = OutOfRange::Refuse);
  QLineEdit* addDouble(const QString& label, double& target, double min, double max, int decimals,
                       OutOfRange mode = OutOfRange::Refuse);
  QLineEdit* addInt64(const QString& label, int64_t& target, int64_t min, int64_t max);
  // An integer field whose label is another control (a radio button beside its edit).
  QLineEdit* addInt64Row(QAbstractButton* label, int64_t& target, int64_t min, int64_t max);
  // An integer field the caller places itself (beside a radio button, in a grid); the name is
  // how messages call it.
  QLineEdit* addUnplacedInt(const QString& name, int& target, int min, int max);
  QLineEdit* addText(const QString& label, std::string& target);
  QCheckBox* addCheck(const QString& text, bool& target);
  // A titled group of radio buttons; the target holds the index of the checked one.
  QButtonGroup* addRadios(const QString& title, int& target, const QStringList& labels);
  QComboBox* addCombo(const QString& label, int& target, const QStringList& items);
  // A horizontal bar with its position shown beside it.
  QSlider* addTrackBar(const QString& label, int& target, int min, int max);
  QLabel* addNote(const QString& text);

  // The button row: OK (the default button, Enter), Cancel (Escape) and, with a topic, Help.
  void addButtons(const QString& okText = "OK", const QString& cancelText = "Cancel",
                  const std::string& helpTopic = {});
  // A further button in the row, before Help (or at `index`).
  void addExtraButton(QPushButton* button, int index = -1);
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* helpButton() const { return help_; }
  const std::string& helpTopic() const { return helpTopic_; }
  void openHelp(const std::string& topic);

  // The dialog opens where positions[key] says (unless that is -1, -1) and writes its place
  // back there when it closes. The map is looked up each time, so it may be reassigned.
  void rememberPosition(DialogPositions& positions, std::string key);
  bool remembersPosition() const { return positions_ != nullptr; }
  // Writes the current place now (a window still open when the program closes).
  void storePosition();

  // A check that runs on OK after every field passed its own; a message means refuse (an
  // empty message refuses without showing anything).
  void addCheckOnOk(std::function<std::optional<QString>()> check);
  // Runs after the fields were written, before the dialog closes.
  std::function<void()> afterStore;

  // Shows a warning over the dialog (exposed for the dialogs' own checks).
  void warn(const QString& text);
  // Gives a field the focus, showing the tab it sits on.
  void focusField(QWidget* field);

  void accept() override;
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  QVBoxLayout* outer() const { return outer_; }

 private:
  struct Binding {
    QWidget* widget = nullptr;
    std::function<std::optional<QString>()> check;  // a message when the value is refused
    std::function<void()> store;
  };
  QWidget* addRow(const QString& label, QWidget* field);
  template <class T>
  QLineEdit* addInteger(QWidget* labelWidget, const QString& label, T& target, long long min,
                        long long max, OutOfRange mode, bool place = true);

  DialogEnv env_;
  QVBoxLayout* outer_;
  QFormLayout* form_;
  QBoxLayout* buttonRow_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* help_ = nullptr;
  std::string helpTopic_;
  std::vector<Binding> bindings_;
  std::vector<std::function<std::optional<QString>()>> okChecks_;
  DialogPositions* positions_ = nullptr;
  std::string positionKey_;
  bool placed_ = false;
};

// The label text without its trailing colon and spaces: how a message names the field.
QString fieldName(const QString& label);
// "<name>" must be a whole number from <min> to <max>
QString wholeNumberRangeText(const QString& label, long long min, long long max);
// "<name>" must be a number from <min> to <max>
QString numberRangeText(const QString& label, double min, double max, int decimals);

// Numbers as the user types them: surrounding spaces allowed, nothing else.
std::optional<long long> parseWhole(const QString& text);
std::optional<double> parseNumber(const QString& text);

}  // namespace tolmar::ui
