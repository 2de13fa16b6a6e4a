#include "ui/dialogs/spectral_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <array>

#include "base/declick_types.h"
#include "dsp/frequency_analysis.h"
#include "dsp/noise_reduction.h"
#include "dsp/statistics.h"

namespace tolmar::ui {

namespace {

QColor colourOf(uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// ---- Reduce Noise / Reduce Crackle ----

constexpr std::array<std::pair<const char*, ClickShape>, 5> kShapes{{
    {"Hill", ClickShape::Hill},
    {"Spike", ClickShape::Spike},
    {"Instant", ClickShape::InstantRise},
    {"Step", ClickShape::Step},
    {"Blip", ClickShape::Blip},
}};
constexpr std::array<std::pair<const char*, RepairMethod>, 4> kMethods{{
    {"Linear", RepairMethod::Linear},
    {"Bezier", RepairMethod::Bezier},
    {"Copy", RepairMethod::CopyPreceding},
    {"Smooth", RepairMethod::Smooth},
}};
constexpr int kClickWidthMin = 1, kClickWidthMax = 40;
constexpr int kRepairWidthMin = 4, kRepairWidthMax = 120;
constexpr int kThresholdMin = 50, kThresholdMax = 2500;

class ReduceNoiseForm : public FormDialog {
 public:
  ReduceNoiseForm(ReduceNoiseModel& m, QWidget* parent, const DialogEnv& env)
      : FormDialog(QString::fromStdString(m.caption), parent, env), m_(m) {
    auto* top = new QGridLayout;
    outer()->insertLayout(0, top);
    sensitivity_ = bar(top, 0, kSensitivityLabel, 1, 35, m.sensitivityPosition, 1, 3, [](int v) {
      return QString::fromStdString(sensitivityText(sensitivityValue(v)));
    });
    threshold_ = bar(top, 1, kThresholdLabel, kThresholdMin, kThresholdMax, m.relativeAmplitude, 10,
                     100, [](int v) { return QLocale().toString(v / 100.0, 'f', 2); });
    keep_ = new QCheckBox(QString::fromStdString(m.keepLabel));
    keep_->setChecked(m.keep);
    top->addWidget(keep_, 2, 0, 1, 3);
    level_ = new QCheckBox(kLevelDependentLabel);
    level_->setChecked(m.levelDependent);
    top->addWidget(level_, 3, 0, 1, 3);
    level_->setVisible(m.showLevelDependent);
    for (QWidget* w : thresholdRow_) w->setVisible(m.showDecrackle);

    // The lower half of the designed form, out of view unless [Debug] full is on.
    group_ = new QGroupBox(kDecracklingGroup);
    auto* g = new QGridLayout(group_);
    width_ = bar(g, 0, "Click Width:", kClickWidthMin, kClickWidthMax, m.clickWidth, 1, 5,
                 [](int v) { return QString::number(v); });
    repair_ = bar(g, 1, "Repair Width:", kRepairWidthMin, kRepairWidthMax, m.repairWidth, 1, 10,
                  [](int v) { return QString::number(v); });
    // Width above repair pushes repair up; repair below width pulls width down.
    connect(width_, &QScrollBar::valueChanged, this, [this](int v) {
      if (repair_->value() < v) repair_->setValue(v);
    });
    connect(repair_, &QScrollBar::valueChanged, this, [this](int v) {
      if (width_->value() > v) width_->setValue(v);
    });
    shapes_ = radios(g, 2, "Shape ", kShapes, static_cast<ClickShape>(m.shape));
    methods_ = radios(g, 3, "Repair Method ", kMethods, static_cast<RepairMethod>(m.repairMethod));
    outer()->insertWidget(1, group_);
    group_->setVisible(m.showDecrackle && m.fullHeight);

    addButtons("OK", "Cancel", m.helpTopic);
  }

  void accept() override {
    m_.sensitivityPosition = sensitivity_->value();
    m_.keep = keep_->isChecked();
    if (m_.showLevelDependent) m_.levelDependent = level_->isChecked();
    if (m_.showDecrackle) {
      m_.relativeAmplitude = threshold_->value();
      // Out of view, the group's values are used as stored.
      if (group_->isVisible()) {
        m_.clickWidth = width_->value();
        m_.repairWidth = repair_->value();
        m_.shape = static_cast<int>(kShapes[static_cast<size_t>(shapes_->checkedId())].second);
        m_.repairMethod =
            static_cast<int>(kMethods[static_cast<size_t>(methods_->checkedId())].second);
      }
    }
    FormDialog::accept();
  }

 private:
  template <class F>
  QScrollBar* bar(QGridLayout* grid, int row, const QString& label, int min, int max, int value,
                  int small, int large, F text) {
    auto* l = new QLabel(label);
    auto* b = new QScrollBar(Qt::Horizontal);
    b->setRange(min, max);
    b->setSingleStep(small);
    b->setPageStep(large);
    b->setValue(std::clamp(value, min, max));
    b->setMinimumWidth(220);
    b->setFocusPolicy(Qt::StrongFocus);
    // Left and Down lower the value, as on a track bar.
    b->setInvertedControls(false);
    l->setBuddy(b);
    auto* shown = new QLabel(text(b->value()));
    shown->setMinimumWidth(48);
    connect(b, &QScrollBar::valueChanged, shown, [shown, text](int v) { shown->setText(text(v)); });
    grid->addWidget(l, row, 0);
    grid->addWidget(b, row, 1);
    grid->addWidget(shown, row, 2);
    if (label == kThresholdLabel) thresholdRow_ = {l, b, shown};
    return b;
  }

  template <class T, size_t N>
  QButtonGroup* radios(QGridLayout* grid, int row, const QString& title,
                       const std::array<std::pair<const char*, T>, N>& items, T current) {
    auto* box = new QGroupBox(title);
    auto* h = new QHBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (size_t i = 0; i < N; ++i) {
      auto* r = new QRadioButton(items[i].first);
      group->addButton(r, static_cast<int>(i));
      h->addWidget(r);
      if (items[i].second == current) r->setChecked(true);
    }
    if (group->checkedId() < 0) group->button(0)->setChecked(true);
    grid->addWidget(box, row, 0, 1, 3);
    return group;
  }

  ReduceNoiseModel& m_;
  QScrollBar* sensitivity_;
  QScrollBar* threshold_;
  std::array<QWidget*, 3> thresholdRow_{};
  QCheckBox* keep_;
  QCheckBox* level_;
  QGroupBox* group_;
  QScrollBar* width_;
  QScrollBar* repair_;
  QButtonGroup* shapes_;
  QButtonGroup* methods_;
};

// ---- The two graph windows ----

// A plot area that paints itself from a model at whatever size it has.
class PlotArea : public QWidget {
 public:
  using Painter = void (*)(QPainter&, const void*, int, int);
  // `keep` holds the model when the plot owns it.
  PlotArea(const void* model, Painter paint, QSize size, std::shared_ptr<const void> keep = {})
      : model_(model), paint_(paint), keep_(std::move(keep)) {
    setMinimumSize(size);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    paint_(p, model_, width(), height());
  }

 private:
  const void* model_;
  Painter paint_;
  std::shared_ptr<const void> keep_;
};

class GraphForm : public FormDialog {
 public:
  GraphForm(const QString& caption, QWidget* plot, QWidget* parent, const DialogEnv& env)
      : FormDialog(caption, parent, env) {
    outer()->insertWidget(0, plot, 1);
    outer()->setContentsMargins(0, 0, 0, 6);
    addButtons(kFrequencyAnalysisClose, "");
  }
};

}  // namespace

void paintSpectrum(QPainter& p, const SpectrumModel& m, int width, int height) {
  p.fillRect(0, 0, width, height, colourOf(kSpectrumBackground));
  const SpectrumPlot plot = spectrumPlot(m, width, height);
  const QFontMetrics fm(p.font());
  for (const PlotLine& l : plot.verticals) {
    p.setPen(colourOf(kSpectrumGrid));
    p.drawLine(l.from.x, l.from.y, l.to.x, l.to.y);
    const QString label = QString::fromStdString(l.label);
    p.setPen(colourOf(kSpectrumLabels));
    p.drawText(l.labelAt.x - fm.horizontalAdvance(label) / 2, l.labelAt.y + fm.ascent(), label);
  }
  for (const PlotLine& l : plot.horizontals) {
    p.setPen(colourOf(kSpectrumGrid));
    p.drawLine(l.from.x, l.from.y, l.to.x, l.to.y);
    const QString label = QString::fromStdString(l.label);
    p.setPen(colourOf(kSpectrumLabels));
    p.drawText(l.labelAt.x - fm.horizontalAdvance(label),
               l.labelAt.y - fm.height() / 2 + fm.ascent(), label);
  }
  auto curve = [&p](const std::vector<PlotPoint>& points, uint32_t colour, Qt::PenStyle style) {
    if (points.size() < 2) return;
    QPen pen(colourOf(colour));
    pen.setStyle(style);
    p.setPen(pen);
    for (size_t i = 1; i < points.size(); ++i)
      p.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
  };
  // The fingerprint goes under the music, so that the music's curves stay readable.
  curve(plot.fingerprintLeft, kSpectrumFingerprintLeft, Qt::SolidLine);
  curve(plot.fingerprintRight, kSpectrumFingerprintRight, Qt::SolidLine);
  curve(plot.left, kSpectrumLeft, Qt::SolidLine);
  curve(plot.right, kSpectrumRight, Qt::SolidLine);
  p.setPen(colourOf(kSpectrumLeft));
  p.drawText(plot.leftCaption.x, plot.leftCaption.y + fm.ascent(), "Left");
  p.setPen(colourOf(kSpectrumRight));
  p.drawText(plot.rightCaption.x, plot.rightCaption.y + fm.ascent(), "Right");
  if (!plot.fingerprintLeft.empty() || !plot.fingerprintRight.empty()) {
    p.setPen(colourOf(kSpectrumFingerprintLeft));
    p.drawText(plot.fingerprintCaption.x, plot.fingerprintCaption.y + fm.ascent(),
               QString::fromStdString(kFingerprintCaption));
  }
}

void paintClipHistogram(QPainter& p, const ClippingHistogramModel& m, int width, int height) {
  p.fillRect(0, 0, width, height, Qt::black);
  const QColor text = colourOf(0xC0C0C0);
  const QFontMetrics fm(p.font());
  for (const ClippingHistogramModel::Bar& b : m.layout(width, height)) {
    const int32_t n = m.count[static_cast<size_t>(b.bin)];
    if (b.bottom > b.top)
      p.fillRect(QRect(QPoint(b.left, b.top), QPoint(b.right - 1, b.bottom - 1)),
                 colourOf(0x0000FF));
    p.setPen(text);
    if (n > 0) {
      const QString count = QString::number(n);
      p.drawText((b.left + b.right - fm.horizontalAdvance(count)) / 2, b.countY + fm.ascent(),
                 count);
    }
    const QString label = QString::fromStdString(b.label);
    p.drawText(ClippingHistogramModel::labelX(b.bin, fm.horizontalAdvance(label), width),
               ClippingHistogramModel::labelY(height) + fm.ascent(), label);
  }
  p.setPen(text);
  // NUMBER OF CLIPS, one letter a line, down the left edge.
  const QString vertical = "NUMBEROFCLIPS";
  const int step = fm.height();
  int y = std::max(4, (height - 84 - step * static_cast<int>(vertical.size())) / 2);
  for (QChar c : vertical) {
    p.drawText(4, y + fm.ascent(), QString(c));
    y += step;
  }
  const QString axis = "C  L  I  P     W  I  D  T  H";
  p.drawText((width - fm.horizontalAdvance(axis)) / 2, height - 81 + fm.height() + 4 + fm.ascent(),
             axis);
}

std::unique_ptr<FormDialog> makeReduceNoiseDialog(ReduceNoiseModel& m, QWidget* parent,
                                                  const DialogEnv& env) {
  return std::make_unique<ReduceNoiseForm>(m, parent, env);
}

std::unique_ptr<FormDialog> makeFrequencyAnalysisDialog(SpectrumModel& m, QWidget* parent,
                                                        const DialogEnv& env) {
  auto* plot = new PlotArea(
      &m,
      [](QPainter& p, const void* model, int w, int h) {
        paintSpectrum(p, *static_cast<const SpectrumModel*>(model), w, h);
      },
      QSize(740, 560));
  return std::make_unique<GraphForm>(kFrequencyAnalysisCaption, plot, parent, env);
}

std::unique_ptr<FormDialog> makeFrequencyAnalysisWindow(SpectrumModel model, QWidget* parent,
                                                        const DialogEnv& env) {
  auto owned = std::make_shared<const SpectrumModel>(std::move(model));
  auto* plot = new PlotArea(
      owned.get(),
      [](QPainter& p, const void* m, int w, int h) {
        paintSpectrum(p, *static_cast<const SpectrumModel*>(m), w, h);
      },
      QSize(740, 560), owned);
  return std::make_unique<GraphForm>(kFrequencyAnalysisCaption, plot, parent, env);
}

std::unique_ptr<FormDialog> makeClippingDialog(ClippingHistogramModel& m, QWidget* parent,
                                               const DialogEnv& env) {
  auto* plot = new PlotArea(
      &m,
      [](QPainter& p, const void* model, int w, int h) {
        paintClipHistogram(p, *static_cast<const ClippingHistogramModel*>(model), w, h);
      },
      QSize(520, 340));
  return std::make_unique<GraphForm>("Clipping Analysis", plot, parent, env);
}

}  // namespace tolmar::ui
