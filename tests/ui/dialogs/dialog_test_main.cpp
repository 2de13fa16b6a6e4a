// Dialog tests run on Qt's offscreen platform, with a font that draws real glyphs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <cstdlib>

int main(int argc, char** argv) {
  // Discovery runs the binary outside ctest's environment too.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const QString dir = QDir::temp().filePath("tolmar-dialog-tests-runtime");
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("XDG_RUNTIME_DIR", dir.toLocal8Bit().constData(), 1);
  }
  QApplication app(argc, argv);
  QApplication::setFont(QFont("DejaVu Sans", 9));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
