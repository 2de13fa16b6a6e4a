#pragma once
// The wave area: replays the editor's drawing records on a QPainter and turns mouse, wheel and
// keys into the editor's selection and navigation.

#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "editor/redraw_stroke.h"
#include "ui/wave_picture.h"

namespace tolmar {

class Editor;
struct Repaint;

class WaveArea : public QWidget {
  Q_OBJECT
 public:
  explicit WaveArea(Editor& editor, QWidget* parent = nullptr);
  // Called with the text of the time under the pointer ("timedisplay").
  std::function<void(const QString&)> onTimeText;
  // Called with the status line after each paint.
  std::function<void(const QString&)> onStatus;
  // Called after an input changed what the commands may do.
  std::function<void()> onChanged;

  // While the records are built, pumping messages would deliver paints inside this paint.
  bool isPainting() const { return painting_; }
  // Builds the page's points when they are out of date, outside any paint: a long read shows
  // the progress panel with Cancel. Repaints afterwards. A paint that finds such a page asks
  // for this and meanwhile draws the points held.
  void buildPagePoints();
  bool buildingPage() const { return building_; }
  // Whether the last paint drew over the kept waveform instead of drawing it again.
  bool reusedWaveform() const { return picture_.reusedUnderlay(); }

  // Redraws what a repaint request says changed: changed samples alone redraw their columns
  // (nothing when they lie off the page); anything else redraws the whole area.
  void refresh(const Repaint& what);

  // The play cursor: one inverted column over the wave area at the play position, shown while
  // it lies in the area and not past the play range's end.
  void startPlayCursor(int32_t first, int32_t last);
  void movePlayCursor(int32_t position);
  void stopPlayCursor();
  bool playCursorShown() const { return cursorOn_ && cursorVisible(cursorX_); }
  int playCursorX() const { return cursorX_; }
  bool strokeInProgress() const { return strokeOn_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  void syncLayout();
  // Ends a redraw stroke: committed as edits unless Ctrl is held.
  void finishStroke(Qt::KeyboardModifiers mods);
  // The columns the overlay block covers on the page, first and last.
  std::optional<std::pair<int, int>> overlaySpan() const;
  void showTimeAt(int x);
  int pixelOfFrame(int32_t frame) const;
  bool cursorVisible(int x) const { return x >= 0 && x <= width() && x <= cursorEndX_; }
  void updateColumn(int x);
  void scheduleBuild();

  Editor& editor_;
  WavePicture picture_;
  bool painting_ = false;
  bool building_ = false;
  bool buildQueued_ = false;
  uint64_t paintedGeneration_ = 0;
  bool armed_ = false;
  int anchorX_ = 0;
  int wheelRemainder_ = 0;
  bool strokeOn_ = false;
  bool overlayDrag_ = false;
  int overlayX_ = 0;
  std::vector<PaintPoint> stroke_;  // eighths of a degree short of a whole notch
  bool cursorOn_ = false;
  int cursorX_ = -1;
  int cursorEndX_ = -1;
  int paintedPeak_ = -1;
};

}  // namespace tolmar
