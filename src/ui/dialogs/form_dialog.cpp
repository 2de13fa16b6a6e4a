#include "ui/dialogs/form_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tolmar::ui {

QString fieldName(const QString& label) {
  QString name = label.trimmed();
  while (name.endsWith(':')) name.chop(1);
  return name.remove('&').trimmed();
}

QString wholeNumberRangeText(const QString& label, long long min, long long max) {
  return QString("\"%1\" must be a whole number from %2 to %3")
      .arg(fieldName(label))
      .arg(min)
      .arg(max);
}

QString numberRangeText(const QString& label, double min, double max, int decimals) {
  const QLocale locale;
  return QString("\"%1\" must be a number from %2 to %3")
      .arg(fieldName(label), locale.toString(min, 'f', decimals),
           locale.toString(max, 'f', decimals));
}

std::optional<long long> parseWhole(const QString& text) {
  bool ok = false;
  const long long v = text.trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return v;
}

std::optional<double> parseNumber(const QString& text) {
  const QString t = text.trimmed();
  bool ok = false;
  double v = QLocale().toDouble(t, &ok);
  if (!ok) v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

FormDialog::FormDialog(const QString& caption, QWidget* parent, DialogEnv env)
    : QDialog(parent), env_(std::move(env)) {
  setWindowTitle(caption);
  outer_ = new QVBoxLayout(this);
  form_ = new QFormLayout;
  outer_->addLayout(form_);
}

QWidget* FormDialog::addRow(const QString& label, QWidget* field) {
  if (label.isEmpty()) {
    form_->addRow(field);
  } else {
    auto* l = new QLabel(label);
    l->setBuddy(field);
    form_->addRow(l, field);
  }
  return field;
}

template <class T>
QLineEdit* FormDialog::addInteger(QWidget* labelWidget, const QString& label, T& target,
                                  long long min, long long max, OutOfRange mode, bool place) {
  auto* edit = new QLineEdit(QString::number(target));
  if (!place) {
  } else if (labelWidget)
    form_->addRow(labelWidget, edit);
  else
    addRow(label, edit);
  auto value = [edit, min, max, mode]() -> std::optional<long long> {
    auto v = parseWhole(edit->text());
    if (!v && mode == OutOfRange::Clamp) {
      // A clamped field still needs a number; a fraction is rounded.
      if (auto d = parseNumber(edit->text()); d && std::abs(*d) < 1e15) v = std::llround(*d);
    }
    if (!v) return std::nullopt;
    if (mode == OutOfRange::Clamp) return std::clamp<long long>(*v, min, max);
    if (*v < min || *v > max) return std::nullopt;
    return v;
  };
  bindings_.push_back({edit,
                       [value, label, min, max]() -> std::optional<QString> {
                         if (value()) return std::nullopt;
                         return wholeNumberRangeText(label, min, max);
                       },
                       [value, &target]() { target = static_cast<T>(*value()); }});
  return edit;
}

QLineEdit* FormDialog::addInt(const QString& label, int& target, int min, int max,
                              OutOfRange mode) {
  return addInteger(nullptr, label, target, min, max, mode);
}

QLineEdit* FormDialog::addInt16(const QString& label, int16_t& target, int min, int max,
                                OutOfRange mode) {
  return addInteger(nullptr, label, target, min, max, mode);
}

QLineEdit* FormDialog::addUnplacedInt(const QString& name, int& target, int min, int max) {
  return addInteger(nullptr, name, target, min, max, OutOfRange::Refuse, false);
}

QLineEdit* FormDialog::addInt64(const QString& label, int64_t& target, int64_t min, int64_t max) {
  return addInteger(nullptr, label, target, min, max, OutOfRange::Refuse);
}

QLineEdit* FormDialog::addInt64Row(QAbstractButton* label, int64_t& target, int64_t min,
                                   int64_t max) {
  return addInteger(label, label->text(), target, min, max, OutOfRange::Refuse);
}

QLineEdit* FormDialog::addDouble(const QString& label, double& target, double min, double max,
                                 int decimals, OutOfRange mode) {
  auto* edit = new QLineEdit(QLocale().toString(target, 'f', decimals));
  addRow(label, edit);
  auto value = [edit, min, max, mode]() -> std::optional<double> {
    auto v = parseNumber(edit->text());
    if (!v) return std::nullopt;
    if (mode == OutOfRange::Clamp) return std::clamp(*v, min, max);
    if (*v < min || *v > max) return std::nullopt;
    return v;
  };
  bindings_.push_back({edit,
                       [value, label, min, max, decimals]() -> std::optional<QString> {
                         if (value()) return std::nullopt;
                         return numberRangeText(label, min, max, decimals);
                       },
                       [value, &target]() { target = *value(); }});
  return edit;
}

QLineEdit* FormDialog::addText(const QString& label, std::string& target) {
  auto* edit = new QLineEdit(QString::fromStdString(target));
  addRow(label, edit);
  bindings_.push_back({edit, [] { return std::optional<QString>(); },
                       [edit, &target]() { target = edit->text().toStdString(); }});
  return edit;
}

QCheckBox* FormDialog::addCheck(const QString& text, bool& target) {
  auto* box = new QCheckBox(text);
  box->setChecked(target);
  addRow({}, box);
  bindings_.push_back({box, [] { return std::optional<QString>(); },
                       [box, &target]() { target = box->isChecked(); }});
  return box;
}

QButtonGroup* FormDialog::addRadios(const QString& title, int& target, const QStringList& labels) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  for (int i = 0; i < labels.size(); ++i) {
    auto* radio = new QRadioButton(labels[i]);
    group->addButton(radio, i);
    layout->addWidget(radio);
    if (i == target) radio->setChecked(true);
  }
  addRow({}, box);
  bindings_.push_back({box, [] { return std::optional<QString>(); },
                       [group, &target]() {
                         if (group->checkedId() >= 0) target = group->checkedId();
                       }});
  return group;
}

QComboBox* FormDialog::addCombo(const QString& label, int& target, const QStringList& items) {
  auto* combo = new QComboBox;
  combo->addItems(items);
  combo->setCurrentIndex(std::clamp(target, -1, static_cast<int>(items.size()) - 1));
  addRow(label, combo);
  bindings_.push_back({combo, [] { return std::optional<QString>(); },
                       [combo, &target]() { target = combo->currentIndex(); }});
  return combo;
}

QSlider* FormDialog::addTrackBar(const QString& label, int& target, int min, int max) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QSlider(Qt::Horizontal);
  bar->setRange(min, max);
  bar->setValue(target);
  auto* number = new QLabel(QString::number(bar->value()));
  number->setMinimumWidth(40);
  layout->addWidget(bar, 1);
  layout->addWidget(number);
  QObject::connect(bar, &QSlider::valueChanged, number,
                   [number](int v) { number->setText(QString::number(v)); });
  auto* l = new QLabel(label);
  l->setBuddy(bar);
  form_->addRow(l, row);
  bindings_.push_back(
      {bar, [] { return std::optional<QString>(); }, [bar, &target]() { target = bar->value(); }});
  return bar;
}

QLabel* FormDialog::addNote(const QString& text) {
  auto* l = new QLabel(text);
  l->setWordWrap(false);
  form_->addRow(l);
  return l;
}

void FormDialog::addButtons(const QString& okText, const QString& cancelText,
                            const std::string& helpTopic) {
  buttonRow_ = new QHBoxLayout;
  buttonRow_->addStretch(1);
  ok_ = new QPushButton(okText);
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  buttonRow_->addWidget(ok_);
  connect(ok_, &QPushButton::clicked, this, &FormDialog::accept);
  if (!cancelText.isEmpty()) {
    cancel_ = new QPushButton(cancelText);
    buttonRow_->addWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, &FormDialog::reject);
  }
  helpTopic_ = helpTopic;
  if (!helpTopic.empty()) {
    help_ = new QPushButton("Help");
    buttonRow_->addWidget(help_);
    connect(help_, &QPushButton::clicked, this, [this] { openHelp(helpTopic_); });
  }
  outer_->addLayout(buttonRow_);
}

void FormDialog::addExtraButton(QPushButton* button, int index) {
  if (index < 0) index = buttonRow_->count() - (help_ ? 1 : 0);
  buttonRow_->insertWidget(index, button);
}

void FormDialog::openHelp(const std::string& topic) {
  if (env_.showHelp) env_.showHelp(topic);
}

void FormDialog::rememberPosition(DialogPositions& positions, std::string key) {
  positions_ = &positions;
  positionKey_ = std::move(key);
}

void FormDialog::storePosition() {
  if (!positions_ || !placed_) return;
  (*positions_)[positionKey_] = {pos().x(), pos().y()};
}

QPoint keepOnScreen(const QRect& frame) {
  // The strip a user grabs to move the window.
  const QRect grip(frame.topLeft(), QSize(frame.width(), std::min(frame.height(), 24)));
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = screen->availableGeometry().intersected(grip);
    if (seen.width() >= std::min(grip.width(), 48) && seen.height() >= std::min(grip.height(), 8))
      return frame.topLeft();
  }
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return frame.topLeft();
  const QRect area = primary->availableGeometry();
  const int x = std::clamp(frame.left(), area.left(),
                           std::max(area.left(), area.right() + 1 - frame.width()));
  const int y =
      std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
  return {x, y};
}

void FormDialog::addCheckOnOk(std::function<std::optional<QString>()> check) {
  okChecks_.push_back(std::move(check));
}

void FormDialog::warn(const QString& text) {
  QMessageBox::warning(this, windowTitle(), text);
}

void FormDialog::focusField(QWidget* field) {
  // A field on a tab that is not showing cannot take the focus: show its page first.
  for (QWidget* w = field; w && w->parentWidget(); w = w->parentWidget()) {
    auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget());
    if (tabs && tabs->indexOf(w) >= 0) tabs->setCurrentIndex(tabs->indexOf(w));
  }
  field->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

void FormDialog::accept() {
  for (const Binding& b : bindings_) {
    if (auto message = b.check()) {
      warn(*message);
      focusField(b.widget);
      return;
    }
  }
  for (const auto& check : okChecks_) {
    if (auto message = check()) {
      if (!message->isEmpty()) warn(*message);
      return;
    }
  }
  for (const Binding& b : bindings_) b.store();
  if (afterStore) afterStore();
  QDialog::accept();
}

void FormDialog::showEvent(QShowEvent* event) {
  if (!placed_ && positions_) {
    const auto it = positions_->find(positionKey_);
    if (it != positions_->end() && it->second.x != -1 && it->second.y != -1)
      move(keepOnScreen(QRect(QPoint(it->second.x, it->second.y), frameGeometry().size())));
  }
  placed_ = true;
  QDialog::showEvent(event);
}

void FormDialog::done(int result) {
  storePosition();
  QDialog::done(result);
}

}  // namespace tolmar::ui
