#include "ui/dialogs/options_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "base/settings.h"
#include "dialog_test_support.h"
#include "dsp/effect_road.h"
#include "editor/editor.h"
#include "support/fake_sound_cards.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/sound_card_dialogs.h"
#include "ui/wave_area.h"

namespace tolmar::ui {
namespace {

QLineEdit* editAfter(QWidget* dialog, const QString& label) {
  for (QLabel* l : dialog->findChildren<QLabel*>())
    if (l->text() == label) return qobject_cast<QLineEdit*>(l->buddy());
  return nullptr;
}

// The field typed beside a radio button, by the name messages give it.
QLineEdit* typedField(QWidget& d, const QString& name) {
  for (QLineEdit* e : d.findChildren<QLineEdit*>())
    if (e->accessibleName() == name) return e;
  return nullptr;
}

using test::byText;

// The Options command of an editor whose VESKOR.INI lives in a temporary directory; `drive`
// works the dialog the command opens.
struct OptionsCommandTest : ::testing::Test {
  tolmar::test::TempDir dir;
  tolmar::test::ScriptedHost host;
  Editor editor{host};
  std::vector<std::string> topics;

  void SetUp() override {
    host.ctx = &editor.ctx;
    editor.iniFile.setPath(dir.file("VESKOR.INI"));
  }
  void drive(std::function<void(FormDialog&)> steps) {
    host.dialogs[kOptionsDialogId] = [this, steps](tolmar::test::ModelRef model) {
      DialogRequest request{kOptionsDialogId, model.variant()};
      auto dialog = createDialog(request, nullptr,
                                 DialogEnv{[this](const std::string& t) { topics.push_back(t); }});
      EXPECT_TRUE(dialog);
      if (!dialog) return false;
      test::showAndWait(dialog.get());
      steps(*dialog);
      return dialog->result() == QDialog::Accepted;
    };
  }
  IniFile savedIni() {
    IniFile ini(dir.file("VESKOR.INI"));
    ini.load();
    return ini;
  }
  static QTabWidget* tabs(FormDialog& d) { return d.findChild<QTabWidget*>(); }
  static void showTab(FormDialog& d, const QString& title) {
    QTabWidget* t = tabs(d);
    for (int i = 0; i < t->count(); ++i)
      if (t->tabText(i) == title) t->setCurrentIndex(i);
  }
};

TEST_F(OptionsCommandTest, SevenTabsInOrderAndEachHelpButtonOpensItsTopic) {
  drive([&](FormDialog& d) {
    QTabWidget* t = tabs(d);
    ASSERT_EQ(t->count(), 7);
    QStringList titles;
    for (int i = 0; i < t->count(); ++i) titles << t->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Files/Menus", "Interface", "Operations", "Track Splitting",
                                   "Playback/Recording", "Colours", "Menu Shortcuts"}));
    EXPECT_EQ(t->currentIndex(), 0);
    for (int i = 0; i < t->count(); ++i) {
      t->setCurrentIndex(i);
      test::screenshot(&d, "options_tab_" + QString::number(i + 1));
      d.helpButton()->click();
    }
    d.cancelButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(topics,
            (std::vector<std::string>{
                "optionsfilestab", "optionsinterfacetab", "optionsoperationstab", "optionssplittab",
                "optionsplayrectab", "optionscolourstab", "optionsshortcutstab"}));
}

TEST_F(OptionsCommandTest, OkStoresTheInterfaceAndPlaybackFieldsAndWritesTheFile) {
  editor.ctx.settings.detailscale = 2000;
  drive([&](FormDialog& d) {
    showTab(d, "Interface");
    editAfter(&d, "Fragment (% of Page):")->setText("150");  // clamped, not refused
    editAfter(&d, "Page Overlap (%):")->setText("120");
    EXPECT_EQ(byText<QRadioButton>(&d, "Samples per Page:")->isChecked(), true);
    byText<QRadioButton>(&d, "one sample per pixel")->setChecked(true);
    byText<QRadioButton>(&d, "45 rpm")->setChecked(true);
    byText<QRadioButton>(&d, "End of Page")->setChecked(true);
    byText<QCheckBox>(&d, "Show Times in CD Frames")->setChecked(true);
    showTab(d, "Playback/Recording");
    EXPECT_EQ(editAfter(&d, "Context Before Selection (ms):")->text(), "500");
    editAfter(&d, "Context Before Selection (ms):")->setText("850");
    byText<QRadioButton>(&d, "Play in both output channels")->setChecked(true);
    byText<QRadioButton>(&d, "Minutes:")->setChecked(true);
    QLineEdit* minutes = typedField(d, "Minutes");
    ASSERT_TRUE(minutes);
    EXPECT_TRUE(minutes->isEnabled());
    minutes->setText("45");
    showTab(d, "Files/Menus");
    byText<QCheckBox>(&d, "Beep on Errors")->setChecked(false);
    d.okButton()->click();
  });
  editor.Options1Click();
  const Settings& s = editor.ctx.settings;
  EXPECT_EQ(s.fragment, 99);
  EXPECT_DOUBLE_EQ(s.pageoverlap, 99.0);
  EXPECT_EQ(s.detailscale, 0);
  EXPECT_EQ(s.movebyrev, 1333);
  EXPECT_EQ(s.zoomcenter, 2);
  EXPECT_TRUE(s.timeinframes);
  EXPECT_EQ(s.beforeplay, 8);  // tenths of a second
  EXPECT_TRUE(s.monoplayback);
  EXPECT_EQ(s.defaultrectime, 45);
  EXPECT_FALSE(s.emitbeeps);
  // Written at once, without a [Shortcut] section since no shortcut changed.
  const IniFile ini = savedIni();
  EXPECT_EQ(ini.readInteger("Options", "fragment", 0), 99);
  EXPECT_EQ(ini.readInteger("Options", "movebyrev", 0), 1333);
  EXPECT_EQ(ini.readInteger("Options", "beforeplay", 0), 8);
  EXPECT_FALSE(ini.hasSection(kShortcutSection));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(OptionsCommandTest, AnOutOfRangeTypedValueIsRefusedOnItsOwnTabAndNothingChanges) {
  drive([&](FormDialog& d) {
    showTab(d, "Files/Menus");
    byText<QCheckBox>(&d, "Beep on Errors")->setChecked(false);
    showTab(d, "Interface");
    byText<QRadioButton>(&d, "Other (ms):")->setChecked(true);
    QLineEdit* other = qobject_cast<QLineEdit*>(d.focusWidget());
    ASSERT_TRUE(other) << "choosing Other puts the cursor in its field";
    other->setText("0");
    showTab(d, "Playback/Recording");
    editAfter(&d, "Number of Audio Buffers:")->setText("1");
    {
      test::MessageCatcher messages;
      d.okButton()->click();
      ASSERT_EQ(messages.texts().size(), 1u);
      EXPECT_EQ(messages.texts()[0],
                "\"Number of Audio Buffers\" must be a whole number from 2 to 64");
    }
    EXPECT_EQ(tabs(d)->tabText(tabs(d)->currentIndex()), "Playback/Recording");
    editAfter(&d, "Number of Audio Buffers:")->setText("8");
    {
      test::MessageCatcher messages;
      d.okButton()->click();
      ASSERT_EQ(messages.texts().size(), 1u);
      EXPECT_EQ(messages.texts()[0], "\"Other (ms)\" must be a whole number from 1 to 3600000");
    }
    EXPECT_EQ(tabs(d)->tabText(tabs(d)->currentIndex()), "Interface");
    EXPECT_EQ(d.focusWidget(), other);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(editor.ctx.settings.emitbeeps);
    EXPECT_EQ(editor.ctx.settings.recplaybuffs, 4);
    d.cancelButton()->click();
  });
  editor.Options1Click();
  EXPECT_TRUE(editor.ctx.settings.emitbeeps);
  EXPECT_EQ(editor.ctx.settings.movebyrev, 1800);
  EXPECT_EQ(editor.ctx.settings.recplaybuffs, 4);
}

TEST_F(OptionsCommandTest, ADirectoryThatDoesNotExistIsReportedOnReadingBackAndCleared) {
  drive([&](FormDialog& d) {
    editAfter(&d, "Temporary Files Directory:")->setText(QString::fromStdString(dir.file("gone")));
    editAfter(&d, "Initial WAV File Directory:")->setText(QString::fromStdString(dir.file("")));
    d.okButton()->click();
  });
  editor.Options1Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Invalid Temporary Directory \"" + dir.file("gone") +
                                       "\" (use the Options menu item to correct it)");
  EXPECT_EQ(editor.ctx.settings.tmpdir, "");
  EXPECT_FALSE(editor.ctx.settings.wavdir.empty());
}

TEST_F(OptionsCommandTest, BrowseTakesTheDirectoryOfTheNameChosenInTheFileDialog) {
  std::filesystem::create_directories(dir.file("scratch"));
  drive([&](FormDialog& d) {
    auto* browse = d.findChild<QPushButton*>("browseTemporary");
    ASSERT_TRUE(browse);
    QString title, preset;
    test::ModalDriver files([&](QWidget* w) {
      auto* f = qobject_cast<QFileDialog*>(w);
      ASSERT_TRUE(f);
      title = f->windowTitle();
      preset = QFileInfo(f->selectedFiles().value(0)).fileName();
      f->selectFile(QString::fromStdString(dir.file("scratch/will be ignored")));
      QMetaObject::invokeMethod(f, "accept");
    });
    browse->click();
    EXPECT_TRUE(files.ran());
    EXPECT_EQ(title, "Select Location for Temporary Files");
    EXPECT_EQ(preset, "will be ignored");
    EXPECT_EQ(editAfter(&d, "Temporary Files Directory:")->text(),
              QString::fromStdString(dir.file("scratch")));
    d.okButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(editor.ctx.settings.tmpdir, dir.file("scratch"));
  EXPECT_TRUE(host.messages.empty());
}

// The shortcut tab: the list of eligible items, Set with its clash check, Remove Shortcut.
struct ShortcutTab {
  QTreeWidget* list;
  QCheckBox *shift, *ctrl, *alt;
  QComboBox* key;
  QPushButton *set, *remove;

  explicit ShortcutTab(FormDialog& d)
      : list(d.findChild<QTreeWidget*>()),
        shift(byText<QCheckBox>(&d, "Shift")),
        ctrl(byText<QCheckBox>(&d, "Control")),
        alt(byText<QCheckBox>(&d, "Alt")),
        key(nullptr),
        set(byText<QPushButton>(&d, "Set")),
        remove(byText<QPushButton>(&d, "Remove Shortcut")) {
    for (QComboBox* c : d.findChildren<QComboBox*>())
      if (c->findText("PgUp") >= 0) key = c;
  }
  QTreeWidgetItem* select(const QString& path) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == path) {
        list->setCurrentItem(list->topLevelItem(i));
        return list->topLevelItem(i);
      }
    return nullptr;
  }
};

TEST_F(OptionsCommandTest, AClashingShortcutIsReportedAndBackedOutOnYes) {
  const Command& save = *findCommand("File | Save");
  drive([&](FormDialog& d) {
    showTab(d, "Menu Shortcuts");
    ShortcutTab tab(d);
    ASSERT_TRUE(tab.list && tab.key && tab.set && tab.remove);
    EXPECT_EQ(tab.list->topLevelItemCount(), static_cast<int>(eligibleMenuPaths(false).size()));
    QTreeWidgetItem* item = tab.select("File | Save");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(1), "Ctrl+S");
    EXPECT_TRUE(tab.ctrl->isChecked());
    EXPECT_EQ(tab.key->currentText(), "S");
    tab.key->setCurrentText("O");
    host.answers = {Answer::Yes};
    tab.set->click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Menu item \"File | Open WAV File...\" has the same shortcut");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "Do you wish to back out this clashing shortcut change?");
    EXPECT_EQ(item->text(1), "Ctrl+S");
    // No: the clash stays.
    EXPECT_EQ(tab.key->currentText(), "S") << "the boxes show the shortcut as it stands";
    tab.key->setCurrentText("O");
    host.answers = {Answer::No};
    tab.set->click();
    EXPECT_EQ(item->text(1), "Ctrl+O");
    // A shortcut nobody else has: no message.
    host.messages.clear();
    tab.shift->setChecked(true);
    tab.alt->setChecked(true);
    tab.key->setCurrentText("K");
    tab.set->click();
    EXPECT_EQ(item->text(1), "Shift+Ctrl+Alt+K");
    EXPECT_TRUE(host.messages.empty());
    test::screenshot(&d, "options_shortcuts");
    d.okButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(editor.shortcuts.shortcut(save), "Shift+Ctrl+Alt+K");
  const IniFile ini = savedIni();
  ASSERT_TRUE(ini.hasSection(kShortcutSection));
  bool found = false;
  for (int n = 1; !found; ++n) {
    const std::string v = ini.readString(kShortcutSection, "sc" + std::to_string(n), "");
    if (v.empty()) break;
    found = v == "File | Save~Shift+Ctrl+Alt+K";
  }
  EXPECT_TRUE(found);
}

TEST_F(OptionsCommandTest, CancelUndoesShortcutChangesAndWritesNoShortcutSection) {
  const Command& undo = *findCommand("Edit | Undo");
  drive([&](FormDialog& d) {
    showTab(d, "Menu Shortcuts");
    ShortcutTab tab(d);
    QTreeWidgetItem* item = tab.select("Edit | Undo");
    ASSERT_TRUE(item);
    tab.remove->click();
    EXPECT_EQ(item->text(1), "");
    EXPECT_EQ(editor.shortcuts.shortcut(undo), "");
    d.cancelButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(editor.shortcuts.shortcut(undo), "Ctrl+Del");
  EXPECT_FALSE(savedIni().hasSection(kShortcutSection));
}

TEST_F(OptionsCommandTest, AColourChosenInTheColourDialogRepaintsTheWaveArea) {
  const std::string wav = dir.file("side.wav");
  tolmar::test::WavBuilder()
      .frames(20000,
              [](int32_t) {
                return tolmar::test::Frame{0, 0};
              })
      .write(wav);
  editor.ctx.settings.openselect = false;
  ASSERT_TRUE(editor.OpenDocument(wav));
  WaveArea area(editor);
  area.resize(400, 200);
  area.show();
  auto pixel = [&] {
    area.repaint();
    const QImage img = area.grab().toImage();
    return QColor(img.pixel(img.width() / 2, 8));
  };
  EXPECT_EQ(pixel(), QColor(Qt::white));

  drive([&](FormDialog& d) {
    showTab(d, "Colours");
    auto* list = d.findChild<QListWidget*>("colours");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 17);
    EXPECT_EQ(list->item(4)->text(), "Redrawn Wavform");
    list->setCurrentRow(0);
    list->setFocus();
    test::ModalDriver colour([](QWidget* w) {
      auto* c = qobject_cast<QColorDialog*>(w);
      ASSERT_TRUE(c);
      EXPECT_EQ(c->windowTitle(), "Main Display Background");
      c->setCurrentColor(QColor(0x20, 0x40, 0x80));
      c->accept();
    });
    QTest::keyClick(list, Qt::Key_Return);  // opens the colour dialog from the keyboard
    EXPECT_TRUE(colour.ran());
    EXPECT_EQ(editor.ctx.settings.colours.mainback, 0xFFFFFFu) << "nothing is stored before OK";
    test::screenshot(&d, "options_colours");
    d.okButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(editor.ctx.settings.colours.mainback, 0x804020u);
  EXPECT_EQ(pixel(), QColor(0x20, 0x40, 0x80));
  EXPECT_EQ(savedIni().readInteger("Colours", "mainback", 0), 0x804020);
}

TEST_F(OptionsCommandTest, CancelRestoresTheColourTable) {
  drive([&](FormDialog& d) {
    showTab(d, "Colours");
    auto* list = d.findChild<QListWidget*>("colours");
    list->setCurrentRow(5);
    test::ModalDriver colour([](QWidget* w) {
      auto* c = qobject_cast<QColorDialog*>(w);
      c->setCurrentColor(Qt::blue);
      c->accept();
    });
    byText<QPushButton>(&d, "Change Colour...")->click();
    EXPECT_TRUE(colour.ran());
    d.cancelButton()->click();
  });
  editor.Options1Click();
  EXPECT_EQ(editor.ctx.settings.colours.click, 32768u);
}

TEST_F(OptionsCommandTest, TheDialogCanBeCompletedFromTheKeyboard) {
  drive([&](FormDialog& d) {
    // Ctrl+Tab moves to the next tab; Tab walks the fields in their order.
    QTest::keyClick(d.focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs(d)->currentIndex(), 1);
    QTest::keyClick(d.focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs(d)->tabText(tabs(d)->currentIndex()), "Operations");
    QLineEdit* samples = editAfter(&d, "Number of Consecutive Samples:");
    samples->setFocus();
    samples->selectAll();
    test::typeAndTab(&d, "6");
    EXPECT_EQ(d.focusWidget(), editAfter(&d, "Clipping Level (dB):"));
    QTest::keyClick(d.focusWidget(), Qt::Key_Return);
  });
  editor.Options1Click();
  EXPECT_EQ(editor.ctx.settings.clippingsamples, 6);
}

TEST_F(OptionsCommandTest, FindClippingOpensTheOperationsTabAndTypicalSettingsFillIt) {
  drive([&](FormDialog& d) {
    EXPECT_EQ(tabs(d)->tabText(tabs(d)->currentIndex()), "Operations");
    EXPECT_EQ(editAfter(&d, "Clipping Level (dB):")->text(), QLocale().toString(0.0, 'f', 1));
    auto* typical = d.findChild<QListWidget*>("typical");
    typical->setCurrentRow(1);  // "Soundcard with analogue clipping"
    d.helpButton()->click();
    test::screenshot(&d, "options_operations");
    d.okButton()->click();
  });
  editor.runOptionsDialog(OptionsTab::Operations);
  const Settings& s = editor.ctx.settings;
  EXPECT_EQ(s.clippingvalue, DbToLevel(-4.0));
  EXPECT_TRUE(s.flattopsonly);
  EXPECT_DOUBLE_EQ(s.ftvariance, 0.4);
  EXPECT_EQ(s.clippingsamples, 4);
  EXPECT_EQ(topics, std::vector<std::string>{"optionsoperationstab"});
}

TEST_F(OptionsCommandTest, TrackSplittingRefusesAnOutOfRangeLevelAndChangesNothing) {
  drive([&](FormDialog& d) {
    EXPECT_EQ(tabs(d)->tabText(tabs(d)->currentIndex()), "Track Splitting");
    editAfter(&d, "Minimum Silence Length (ms):")->setText("2000");
    editAfter(&d, "Maximum Silence Level (dB below full scale):")->setText("120");
    {
      test::MessageCatcher messages;
      d.okButton()->click();
      ASSERT_EQ(messages.texts().size(), 1u);
      EXPECT_TRUE(messages.texts()[0].startsWith(
          "\"Maximum Silence Level (dB below full scale)\" must be a number from"));
    }
    EXPECT_EQ(editor.ctx.settings.silencelength, 1500);
    editAfter(&d, "Maximum Silence Level (dB below full scale):")->setText("40");
    byText<QRadioButton>(&d, "Middle of Gap")->setChecked(true);
    test::screenshot(&d, "options_track_splitting");
    d.okButton()->click();
  });
  editor.runOptionsDialog(OptionsTab::TrackSplitting);
  const Settings& s = editor.ctx.settings;
  EXPECT_EQ(s.silencelength, 2000);
  EXPECT_DOUBLE_EQ(s.silencelevel, 40.0);
  EXPECT_EQ(s.placetrackoption, 1);
}

TEST(OptionsShortcutText, SplitsModifiersInAnyOrderFromTheKey) {
  const ShortcutParts a = splitShortcut("Shift+Ctrl+Del");
  EXPECT_TRUE(a.shift && a.ctrl && !a.alt);
  EXPECT_EQ(a.key, "Del");
  const ShortcutParts b = splitShortcut("Alt+Shift+A");
  EXPECT_TRUE(b.shift && !b.ctrl && b.alt);
  EXPECT_EQ(b.key, "A");
  const ShortcutParts c = splitShortcut("");
  EXPECT_TRUE(!c.shift && !c.ctrl && !c.alt && c.key.isEmpty());
}

TEST_F(OptionsCommandTest, TheSoundCardDialogFillsThePlaybackTabAndItsDevicesWaitForOk) {
  tolmar::test::FakeSoundCards cards;
  cards.recording = {{2, "Line In", true}, {5, "USB Codec", true}};
  cards.playback = {{1, "Speakers", true}, {6, "HDMI", true}};
  bool cancelOptions = true;
  host.dialogs[kOptionsDialogId] = [&](tolmar::test::ModelRef model) {
    DialogRequest request{kOptionsDialogId, model.variant()};
    DialogEnv env{[this](const std::string& t) { topics.push_back(t); }};
    env.soundCards = &cards;
    auto d = createDialog(request, nullptr, env);
    test::showAndWait(d.get());
    showTab(*d, "Playback/Recording");
    editAfter(d.get(), "Number of Audio Buffers:")->setText("2");
    {
      test::ModalDriver driver([](QWidget* w) {
        auto* p = dynamic_cast<TPickCards*>(w);
        ASSERT_TRUE(p);
        EXPECT_FALSE(p->initialSetup());
        EXPECT_EQ(p->nbuffs()->currentText(), "2") << "the tab's value as typed";
        p->playdevs()->setCurrentIndex(1);
        p->nbuffs()->setCurrentIndex(3);
        p->findChild<QCheckBox*>("playendreset")->setChecked(true);
        p->helpButton()->click();
        p->okButton()->click();
      });
      d->findChild<QPushButton*>("soundcards")->click();
      EXPECT_TRUE(driver.ran());
    }
    EXPECT_EQ(editAfter(d.get(), "Number of Audio Buffers:")->text(), "16");
    EXPECT_TRUE(byText<QCheckBox>(d.get(), "Reset Output Device at End of Playback")->isChecked());
    EXPECT_EQ(editor.ctx.settings.playdevno, -1) << "nothing is stored before the Options OK";
    (cancelOptions ? d->cancelButton() : d->okButton())->click();
    return d->result() == QDialog::Accepted;
  };
  editor.Options1Click();
  EXPECT_EQ(topics, std::vector<std::string>{"configuresoundcard"});
  EXPECT_EQ(editor.ctx.settings.playdevno, -1);
  EXPECT_EQ(editor.ctx.settings.recplaybuffs, 4);
  EXPECT_FALSE(editor.ctx.settings.playendreset);

  cancelOptions = false;
  editor.Options1Click();
  const Settings& s = editor.ctx.settings;
  EXPECT_EQ(s.playdevno, 6);
  EXPECT_EQ(s.playdevnm, "HDMI");
  EXPECT_EQ(s.recdevno, 2) << "the first, as listed";
  EXPECT_EQ(s.recdevnm, "Line In");
  EXPECT_EQ(s.recplaybuffs, 16);
  EXPECT_TRUE(s.playendreset);
  EXPECT_EQ(savedIni().readString("Options", "playdevnm", ""), "HDMI");
}

}  // namespace
}  // namespace tolmar::ui
