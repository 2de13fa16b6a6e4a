#pragma once
// The help window: one page per topic, help/<topic>.html beside the program.

#include <QString>
#include <QWidget>
#include <string>

class QTextBrowser;

namespace tolmar::ui {

// The help directory beside the running program.
QString defaultHelpDirectory();

class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QString directory = defaultHelpDirectory(), QWidget* parent = nullptr);

  // Shows the topic's page, or a message naming the page that is missing. True when the page
  // was found.
  bool showTopic(const std::string& topic);
  QString topic() const { return topic_; }
  QTextBrowser* browser() const { return browser_; }

 private:
  QString directory_;
  QString topic_;
  QTextBrowser* browser_;
};

}  // namespace tolmar::ui
