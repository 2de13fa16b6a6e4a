#include "ui/dialogs/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tolmar::ui {

QString defaultHelpDirectory() {
  return QDir(QCoreApplication::applicationDirPath()).filePath("help");
}

HelpWindow::HelpWindow(QString directory, QWidget* parent)
    : QWidget(parent, Qt::Window), directory_(std::move(directory)) {
  setWindowTitle("Tolmar Help");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  browser_ = new QTextBrowser;
  browser_->setOpenExternalLinks(false);
  browser_->setSearchPaths({directory_});
  layout->addWidget(browser_);
  resize(640, 560);
}

bool HelpWindow::showTopic(const std::string& topic) {
  topic_ = QString::fromStdString(topic);
  const QString path = QDir(directory_).filePath(topic_ + ".html");
  const bool found = !topic_.isEmpty() && QFileInfo(path).isFile();
  if (found) {
    browser_->setSource(QUrl::fromLocalFile(path));
  } else {
    browser_->setHtml(
        QString("<h2>Help page not found</h2><p>The help page for \"%1\" is missing: %2 "
                "does not exist.</p><p>Reinstall the program to restore its help pages.</p>")
            .arg(topic_.toHtmlEscaped(), path.toHtmlEscaped()));
  }
  show();
  raise();
  return found;
}

}  // namespace tolmar::ui
