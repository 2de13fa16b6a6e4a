#include "ui/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "base/settings.h"
#include "dsp/effect_road.h"

namespace tolmar::ui {

namespace {

class OptionsForm : public FormDialog {
 public:
  OptionsForm(Settings& s, OptionsTab first, QWidget* parent, const DialogEnv& env)
      : FormDialog("Options", parent, env), s_(s) {
    tabs_ = new QTabWidget;
    outer()->insertWidget(0, tabs_);
    addOperations();
    addTrackSplitting();
    tabs_->setCurrentIndex(first == OptionsTab::Operations ? 0 : 1);
    addButtons("OK", "Cancel", "optionsoperationstab");
    disconnect(helpButton(), nullptr, nullptr, nullptr);
    connect(helpButton(), &QPushButton::clicked, this, [this] {
      openHelp(tabs_->currentIndex() == 0 ? "optionsoperationstab" : "optionssplittab");
    });
    afterStore = [this] { s_.clippingvalue = static_cast<int16_t>(DbToLevel(clipDb_)); };
  }

 private:
  QFormLayout* page(const QString& title) {
    auto* w = new QWidget;
    auto* f = new QFormLayout(w);
    tabs_->addTab(w, title);
    setForm(f);
    return f;
  }

  void addOperations() {
    page("Operations");
    clipDb_ = std::round((6.0 * std::log2(double(s_.clippingvalue)) - 90.0) * 10.0) / 10.0;
    samples_ = addInt("Number of Consecutive Samples:", s_.clippingsamples, 1, 1000);
    level_ = addDouble("Clipping Level (dB):", clipDb_, -30.0, 0.0, 1);
    flat_ = addCheck("Flat Tops Only", s_.flattopsonly);
    variance_ = addDouble("Flat Top Variance:", s_.ftvariance, 0.0, 100.0, 1);
    auto* typical = new QListWidget;
    typical->addItems({"Soundcard able to deliver 0dB", "Soundcard with analogue clipping",
                       "Overcompressed CDs"});
    typical->setMaximumHeight(70);
    form()->addRow("Typical settings", typical);
    connect(typical, &QListWidget::currentRowChanged, this, [this](int row) {
      static const struct {
        double db;
        bool flat;
        double variance;
      } kTypical[] = {{0.0, false, 0.0}, {-4.0, true, 0.4}, {-0.5, true, 0.2}};
      if (row < 0 || row > 2) return;
      const QLocale locale;
      level_->setText(locale.toString(kTypical[row].db, 'f', 1));
      flat_->setChecked(kTypical[row].flat);
      if (kTypical[row].flat) variance_->setText(locale.toString(kTypical[row].variance, 'f', 1));
      samples_->setText("4");
    });
    addCheck("Show Options Before Finding Clipping", s_.showonclipdetect);
    addCheck("Show Clipping Histogram", s_.showcliphistogram);
  }

  void addTrackSplitting() {
    page("Track Splitting");
    addInt("Minimum Silence Length (ms):", s_.silencelength, 1, 600000);
    addDouble("Maximum Silence Level (dB below full scale):", s_.silencelevel, 0.0, 96.0, 1);
    addInt("Minimum Track Length (ms):", s_.mintracklen, 0, 36000000);
    addRadios("A Found Track Adds ", s_.findtrackoption, {"Marker", "Cue Point"});
    addRadios("Place Track Start at ", s_.placetrackoption,
              {"End of Gap", "Middle of Gap", "Start of Gap"});
    addCheck("Clear Markers/Cue Points Before Search", s_.clearbeforesearch);
    addCheck("Add Safety Offset on Converting Markers", s_.addoffsetonconvert);
    addCheck("Show Options Before Finding Tracks", s_.showonfindtracks);
    addCheck("Use WAV File Name as Stub", s_.splitstub);
    addCheck("Prefix Track Number", s_.splitprefix);
    addCheck("Include Track Number", s_.splittrackno);
    addRadios("CD-Text in File Names ", s_.splitcdtexttype,
              {"Title - Performer", "Performer - Title", "Title Only", "Custom Format"});
    addText("Custom Format:", s_.splitcustomstring);
  }

  Settings& s_;
  QTabWidget* tabs_;
  double clipDb_ = 0.0;
  QLineEdit* samples_ = nullptr;
  QLineEdit* level_ = nullptr;
  QCheckBox* flat_ = nullptr;
  QLineEdit* variance_ = nullptr;
};

}  // namespace

std::unique_ptr<FormDialog> makeOptionsDialog(Settings& s, OptionsTab first, QWidget* parent,
                                              const DialogEnv& env) {
  return std::make_unique<OptionsForm>(s, first, parent, env);
}

}  // namespace tolmar::ui
