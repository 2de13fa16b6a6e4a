// tolmar: the editor window. With --screenshot it renders the window offscreen with the file
// open and writes a PNG, for documentation and tests.

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_cards.h"
#include "document/time_text.h"
#ifdef TOLMAR_HAVE_PORTAUDIO
#include "audio/portaudio/portaudio_input.h"
#include "audio/portaudio/portaudio_output.h"
#endif
#ifdef TOLMAR_HAVE_ALSA
#include "audio/alsa/alsa_mixer.h"
#endif
#include "ui/main_form.h"
#include "ui/wave_area.h"

namespace {

struct Options {
  std::string screenshot;
  int width = 1280, height = 800;
  std::string scale;
  bool spectral = false;
  std::string select;
  std::string file;
};

int usage(const char* why) {
  std::fprintf(stderr,
               "%s\nusage: tolmar [FILE]\n       tolmar --screenshot OUT.png [--size WxH] "
               "[--scale F] [--spectral] [--select START-END] FILE\n",
               why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--screenshot") {
      const char* v = value();
      if (!v) return usage("--screenshot needs a file name");
      o.screenshot = v;
    } else if (a == "--size") {
      const char* v = value();
      if (!v || std::sscanf(v, "%dx%d", &o.width, &o.height) != 2 || o.width < 200 ||
          o.height < 150 || o.width > 10000 || o.height > 10000)
        return usage("--size needs WIDTHxHEIGHT, e.g. 1280x800");
    } else if (a == "--scale") {
      const char* v = value();
      if (!v || std::atof(v) <= 0.0 || std::atof(v) > 8.0) return usage("--scale needs a factor");
      o.scale = v;
    } else if (a == "--spectral") {
      o.spectral = true;
    } else if (a == "--select") {
      const char* v = value();
      if (!v) return usage("--select needs START-END");
      o.select = v;
    } else {
      rest.push_back(a);
    }
  }
  // One path, all arguments joined by spaces.
  for (const std::string& r : rest) o.file += (o.file.empty() ? "" : " ") + r;

  const bool shot = !o.screenshot.empty();
  if (shot) {
    if (o.file.empty()) return usage("--screenshot needs a FILE");
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  if (!o.scale.empty()) setenv("QT_SCALE_FACTOR", o.scale.c_str(), 1);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tolmar"));
  tolmar::TMainForm form(!shot);
#ifdef TOLMAR_HAVE_PORTAUDIO
  // The sound cards are looked for at start-up; a picture needs none.
  std::unique_ptr<tolmar::PortAudioInputFactory> inputs;
  std::unique_ptr<tolmar::BackendSoundCards> cards;
#ifdef TOLMAR_HAVE_ALSA
  std::unique_ptr<tolmar::AlsaMixerFactory> mixers;
#endif
  if (!shot) {
    // The start-up check lists the devices once, for the dialog and for what can be offered.
    form.editor().setOutputBackend(std::make_unique<tolmar::PortAudioBackend>(),
                                   tolmar::AudioCommands::DeviceCheck::WhenPlaying);
    inputs = std::make_unique<tolmar::PortAudioInputFactory>();
    form.editor().inputDevices = inputs.get();
    cards =
        std::make_unique<tolmar::BackendSoundCards>(inputs.get(), &form.editor().outputBackend());
    form.setSoundCards(cards.get());
#ifdef TOLMAR_HAVE_ALSA
    // The cards' mixers are found by the names PortAudio gives the recording devices.
    mixers = std::make_unique<tolmar::AlsaMixerFactory>(inputs.get(), inputs->defaultDevice());
    form.editor().mixerApis = mixers.get();
#endif
  }
#endif
  form.FormCreate(!shot);
  if (shot) form.resize(o.width, o.height);
  form.show();
  form.openCommandLine(o.file);
  if (!shot) return QApplication::exec();

  tolmar::Editor& ed = form.editor();
  if (!ed.doc) {
    std::fprintf(stderr, "tolmar: %s could not be opened\n", o.file.c_str());
    return 1;
  }
  ed.EntireFileBtnClick();
  if (o.spectral) ed.SpectralView1Click();
  if (!o.select.empty()) {
    const size_t dash = o.select.find('-', 1);
    const auto a = dash == std::string::npos
                       ? std::nullopt
                       : tolmar::parseTime(o.select.substr(0, dash), ed.ctx.sampleRate,
                                           ed.ctx.settings.timeinframes, ed.doc->cues);
    const auto b = dash == std::string::npos
                       ? std::nullopt
                       : tolmar::parseTime(o.select.substr(dash + 1), ed.ctx.sampleRate,
                                           ed.ctx.settings.timeinframes, ed.doc->cues);
    if (!a || !b) return usage("--select needs two times, e.g. 00:01.000-00:02.500");
    ed.doc->selStart = std::clamp(*a, 0, ed.doc->lastFrame);
    ed.doc->selEnd = std::clamp(*b, 0, ed.doc->lastFrame);
  }
  form.idlePass();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  form.waveArea()->buildPagePoints();
  form.waveArea()->repaint();
  const QPixmap pix = form.grab();
  if (!pix.save(QString::fromStdString(o.screenshot), "PNG")) {
    std::fprintf(stderr, "tolmar: could not write %s\n", o.screenshot.c_str());
    return 1;
  }
  return 0;
}
