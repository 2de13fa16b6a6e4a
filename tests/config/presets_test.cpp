#include "config/presets.h"

#include <gtest/gtest.h>

#include "support/scripted_host.h"

namespace tolmar {
namespace {

using test::ScriptedHost;

const std::string kOverwrite = "Overwrite existing preset '";

TEST(PresetText, FactoryPresetsHaveTheirStoredForms) {
  const auto click = ClickPresetFamily::factory();
  ASSERT_EQ(click.size(), 9u);
  EXPECT_EQ(ClickPresetFamily::format(click[0], "."), "/5/30/30/2500/0/1/0/Larger Clicks");
  EXPECT_EQ(ClickPresetFamily::format(click[6], "."), "/15/35/45/1600/3/0/0/Smeared Ticks");
  // The model presets come after the older seven, which keep their places.
  EXPECT_EQ(ClickPresetFamily::format(click[7], "."), "/40/60/30/700/5/4/0/Model Clicks");
  EXPECT_EQ(ClickPresetFamily::format(click[8], "."),
            "/40/60/30/650/5/4/0/Model Clicks + Crackle");
  const auto parsed = ClickPresetFamily::parse("/40/60/30/700/5/4/0/Model Clicks", ".");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->shape, ClickShape::Model);
  EXPECT_EQ(parsed->repairMethod, RepairMethod::ArInterpolate);

  const auto eq = EQPresetFamily::factory();
  ASSERT_EQ(eq.size(), 3u);
  EXPECT_EQ(EQPresetFamily::format(eq[1], "."),
            "0.0/0.0/0.0/0.0/0.0/2.0/4.0/5.0/6.0/3.0/Add Sparkle");
  EXPECT_EQ(EQPresetFamily::format(eq[2], ","),
            "0,0/4,0/5,5/4,5/3,0/0,0/0,0/0,0/0,0/0,0/Bass Boost");

  const auto filter = FilterPresetFamily::factory();
  ASSERT_EQ(filter.size(), 5u);
  EXPECT_EQ(FilterPresetFamily::format(filter[0], "."),
            "1/0/0/35.00/1000.00/1000.00/1.00/0.50/0.50/Rumble");
  EXPECT_EQ(FilterPresetFamily::format(filter[3], "."),
            "3/3/0/60.00/120.00/1000.00/1.00/1.00/0.50/Hum (60+120Hz)");

  const auto mix = ChanmixPresetFamily::factory();
  ASSERT_EQ(mix.size(), 7u);
  EXPECT_EQ(ChanmixPresetFamily::format(mix[5], "."), "100/-100/-100/100/0/1/Reduce Vocal");
}

TEST(PresetText, ParsingKeepsSlashesInNamesAndReadsTheOlderDeclickForm) {
  auto p = ClickPresetFamily::parse("/5/30/30/2500/0/1/0/My/Name", ".");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "My/Name");
  EXPECT_EQ(p->clickWidth, 5);
  EXPECT_EQ(p->repairWidth, 30);
  EXPECT_EQ(p->relativeAmplitude, 2500);
  EXPECT_EQ(p->repairMethod, RepairMethod::Bezier);

  p = ClickPresetFamily::parse("9/4/12/40/1300/8/2/Old Style", ".");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->clickWidth, 4);
  EXPECT_EQ(p->repairWidth, 12);
  EXPECT_EQ(p->displayWidth, 40);
  EXPECT_EQ(p->relativeAmplitude, 1300);
  EXPECT_EQ(p->shape, ClickShape::Step);
  EXPECT_EQ(p->repairMethod, RepairMethod::Linear);
  EXPECT_EQ(p->smoothingCount, 0);
  EXPECT_EQ(p->name, "Old Style");

  for (const char* bad : {"/5/30/30/2500/6/1/0/BadShape", "/5/30/30/2500/0/5/0/BadMethod",
                          "/5/30/30/99999/0/1/0/TooBig", "/5/30/x/2500/0/1/0/NotANumber",
                          "/5/30/30", "Just a name"}) {
    EXPECT_FALSE(ClickPresetFamily::parse(bad, ".")) << bad;
  }

  auto e = EQPresetFamily::parse("1.5/-2.0/3/Short", ".");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->dbGain[0], 1.5);
  EXPECT_EQ(e->dbGain[2], 3.0);
  EXPECT_EQ(e->dbGain[3], -1.0);
  EXPECT_EQ(e->dbGain[9], -1.0);
  EXPECT_EQ(e->name, "Short");
  EXPECT_FALSE(EQPresetFamily::parse("1.5/-2.0/3/Short/Name", ".")) << "a field must be a number";
  EXPECT_FALSE(EQPresetFamily::parse("1,5/0/0/0/0/0/0/0/0/0/Comma", "."));
  EXPECT_TRUE(EQPresetFamily::parse("1,5/0/0/0/0/0/0/0/0/0/Comma", ","));

  auto f = FilterPresetFamily::parse("3/0/0/60.00/Hum", ".");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, (std::array<int, 3>{3, 0, 0}));
  EXPECT_EQ(f->freq[0], 60.0);
  EXPECT_EQ(f->freq[1], -1.0);
  EXPECT_EQ(f->q, (std::array<double, 3>{-1, -1, -1}));
  EXPECT_EQ(f->name, "Hum");

  auto m = ChanmixPresetFamily::parse("50/50/Mono", ".");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->leftright, 50);
  EXPECT_EQ(m->rightleft, -1);
  EXPECT_FALSE(m->leftInvert);
  EXPECT_EQ(m->name, "Mono");
  m = ChanmixPresetFamily::parse("1/2/3/4/2/1/Odd", ".");
  ASSERT_TRUE(m);
  EXPECT_FALSE(m->leftInvert) << "only 1 means inverted";
  EXPECT_TRUE(m->rightInvert);
}

TEST(PresetList, ReadStopsAtAGapAndFallsBackToFactoryPresets) {
  IniFile ini;
  ini.setDecimalSeparator(".");
  ini.parse(
      "[Declick]\nclkwid=5\npreset1=/1/2/3/4/0/0/0/A\npreset2=/1/2/3/4/1/0/0/B\n"
      "preset4=/1/2/3/4/0/0/0/D\n[Filter]\ntype1=0\n"
      "[Equalise]\npreset1=0.0/0.0/0.0/0.0/0.0/0.0/0.0/0.0/0.0/0.0/Mine\npreset2=0,0/Bad\n"
      "[Mixer]\npreset1=\npreset2=50/50/50/50/0/0/Hidden\n");
  bool invalid = false;
  PresetStore store;
  store.readAll(ini, invalid);
  EXPECT_EQ(store.click.names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(store.filter.items().size(), 5u) << "an empty family gets the factory presets";
  EXPECT_EQ(store.chanmix.items().size(), 7u) << "an empty preset1 ends the list";
  EXPECT_TRUE(invalid);
  EXPECT_EQ(store.eq.names(), (std::vector<std::string>{"Flat", "Add Sparkle", "Bass Boost"}));

  invalid = false;
  ini.parse("[Declick]\npreset1=/5/30/30/2500/0/1/0/Fine\npreset2=/5/30/30/abc/0/1/0/Broken\n");
  store.click.read(ini, invalid);
  EXPECT_TRUE(invalid);
  EXPECT_EQ(store.click.items().size(), 9u);
  EXPECT_EQ(store.click.items()[0].name, "Larger Clicks");
}

TEST(PresetList, WriteAndReadRoundTripKeepsTheSectionsSettings) {
  for (const char* sep : {".", ","}) {
    IniFile ini;
    ini.setDecimalSeparator(sep);
    ini.parse("[Filter]\ntype1=2\npreset1=x\npreset7=stale\nPRESET3=old\npresetx=kept\n");
    FilterPresetList list;
    list.installFactory();
    FilterPreset odd{"Odd/Name", {2, 1, 0}, {12.25, 20000, 5}, {0.1, 0.75, 1}};
    ScriptedHost host;
    Context ctx(host);
    ASSERT_TRUE(list.add(ctx, odd));
    list.write(ini);
    EXPECT_EQ(ini.readString("Filter", "type1", ""), "2");
    EXPECT_EQ(ini.readString("Filter", "presetx", ""), "kept");
    EXPECT_FALSE(ini.hasKey("Filter", "preset7"));
    EXPECT_EQ(ini.readString("Filter", "preset6", "").substr(0, 11),
              std::string("2/1/0/12") + sep + "25");

    FilterPresetList back;
    bool invalid = false;
    back.read(ini, invalid);
    EXPECT_FALSE(invalid);
    ASSERT_EQ(back.items().size(), 6u);
    const FilterPreset* got = back.get("Odd/Name");
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->freq, odd.freq);
    EXPECT_EQ(got->q, odd.q);
    EXPECT_EQ(got->type, odd.type);

    EQPresetList eq;
    eq.installFactory();
    eq.write(ini);
    EQPresetList eqBack;
    eqBack.read(ini, invalid);
    EXPECT_FALSE(invalid);
    ASSERT_EQ(eqBack.items().size(), 3u);
    EXPECT_EQ(eqBack.items()[2].dbGain, eq.items()[2].dbGain);
  }
}

TEST(PresetList, AddAsksOnlyWhenValuesDiffer) {
  ScriptedHost host;
  Context ctx(host);
  ClickPresetList click;
  click.installFactory();
  ClickPreset same = *click.get("Moderate Clicks");
  EXPECT_FALSE(click.add(ctx, same));
  EXPECT_TRUE(host.questions.empty());

  ClickPreset changed = same;
  changed.relativeAmplitude = 1990;
  host.answers = {Answer::No};
  EXPECT_FALSE(click.add(ctx, changed));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].text, kOverwrite + "Moderate Clicks'?");
  EXPECT_EQ(click.get("Moderate Clicks")->relativeAmplitude, 2000);
  host.answers = {Answer::Yes};
  EXPECT_TRUE(click.add(ctx, changed));
  EXPECT_EQ(click.get("Moderate Clicks")->relativeAmplitude, 1990);
  EXPECT_EQ(click.items().size(), 9u);

  EQPresetList eq;
  eq.installFactory();
  EQPreset louder = *eq.get("Flat");
  louder.dbGain[0] = 0.5;
  host.answers = {Answer::Cancel};
  EXPECT_FALSE(eq.add(ctx, louder));
  EXPECT_EQ(host.questions.back().kind, MsgKind::Warning);
  EXPECT_EQ(eq.get("Flat")->dbGain[0], 0.0);
  host.answers = {Answer::Ok};
  EXPECT_TRUE(eq.add(ctx, louder));
  EXPECT_EQ(eq.get("Flat")->dbGain[0], 0.5);

  const std::size_t asked = host.questions.size();
  ctx.silentMode = true;
  ChanmixPresetList mix;
  mix.installFactory();
  ChanmixPreset mono = *mix.get("Convert to Mono");
  mono.rightInvert = true;
  EXPECT_TRUE(mix.add(ctx, mono));
  EXPECT_EQ(host.questions.size(), asked) << "silent mode overwrites without asking";
  EXPECT_TRUE(mix.get("Convert to Mono")->rightInvert);
}

TEST(PresetList, DuplicateNamesResolveToTheLastAndSetDefaultKeepsOthers) {
  ScriptedHost host;
  Context ctx(host);
  IniFile ini;
  ini.parse(
      "[Mixer]\nleftleft=100\npreset1=1/1/1/1/0/0/Dup\npreset2=2/2/2/2/0/0/Dup\n"
      "preset3=0/100/100/0/0/0/Swap Channels\npreset4=10/0/0/10/0/0/Quiet\n");
  ChanmixPresetList mix;
  bool invalid = false;
  mix.read(ini, invalid);
  EXPECT_EQ(mix.get("Dup")->leftleft, 2);
  EXPECT_EQ(mix.get("dup"), nullptr) << "names are compared exactly";
  EXPECT_TRUE(mix.del("Dup"));
  EXPECT_EQ(mix.get("Dup")->leftleft, 1);
  EXPECT_FALSE(mix.del("Nobody"));

  mix.setDefault(ctx, ini);
  EXPECT_TRUE(host.questions.empty()) << "the stored Swap Channels is identical";
  EXPECT_EQ(mix.items().size(), 9u);
  EXPECT_NE(mix.get("Quiet"), nullptr);
  EXPECT_EQ(ini.readString("Mixer", "leftleft", ""), "100");
  EXPECT_EQ(ini.readString("Mixer", "preset9", ""), "100/0/0/100/0/1/Out of Phase");
  EXPECT_EQ(ini.readString("Mixer", "preset4", ""), "50/50/50/50/0/0/Convert to Mono");
}

}  // namespace
}  // namespace tolmar
