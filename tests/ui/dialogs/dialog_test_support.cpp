#include "dialog_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace tolmar::ui::test {

QString screenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(TOLMAR_SCREENSHOT_DIR);
  const QString path = QDir(TOLMAR_SCREENSHOT_DIR).filePath(name + ".png");
  widget->adjustSize();
  if (!widget->grab().save(path)) return {};
  return path;
}

MessageCatcher::MessageCatcher(QMessageBox::StandardButton answer) : answer_(answer) {
  timer_ = new QTimer;
  timer_->setInterval(5);
  QObject::connect(timer_, &QTimer::timeout, [this] { poll(); });
  timer_->start();
}

MessageCatcher::~MessageCatcher() {
  delete timer_;
}

void MessageCatcher::poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return;
  texts_.push_back(box->text());
  QAbstractButton* button = box->button(answer_);
  if (!button) button = box->defaultButton();
  if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
  if (button) button->click();
}

ModalDriver::ModalDriver(std::function<void(QWidget*)> drive, std::function<bool(QWidget*)> accepts)
    : drive_(std::move(drive)), accepts_(std::move(accepts)) {
  timer_ = new QTimer;
  timer_->setInterval(5);
  QObject::connect(timer_, &QTimer::timeout, [this] {
    QWidget* w = QApplication::activeModalWidget();
    if (ran_ || !w || !w->isVisible() || qobject_cast<QMessageBox*>(w)) return;
    if (accepts_ && !accepts_(w)) return;
    ran_ = true;
    drive_(w);
  });
  timer_->start();
}

ModalDriver::~ModalDriver() {
  delete timer_;
}

void showAndWait(QWidget* dialog) {
  dialog->show();
  dialog->activateWindow();
  (void)QTest::qWaitForWindowExposed(dialog);
  QApplication::processEvents();
}

void waitForFocus(QWidget* dialog) {
  dialog->activateWindow();
  (void)QTest::qWaitForWindowActive(dialog, 2000);
  (void)QTest::qWaitFor([dialog] { return dialog->focusWidget() != nullptr; }, 2000);
}

void typeAndTab(QWidget* dialog, const QString& text) {
  QWidget* target = focused(dialog) ? focused(dialog) : dialog;
  QTest::keyClicks(target, text);
  QTest::keyClick(focused(dialog) ? focused(dialog) : dialog, Qt::Key_Tab);
}

QWidget* focused(QWidget* dialog) {
  return dialog->focusWidget();
}

}  // namespace tolmar::ui::test
