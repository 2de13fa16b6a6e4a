#include <gtest/gtest.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/save_journal.h"
#include "document/wav_format.h"
#include "support/doc_fixture.h"
#include "support/kill_child.h"

namespace tolmar::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void spit(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A fresh process's open of the file, with what it said.
struct Reopened {
  ScriptedHost host;
  Context ctx{host};
  WaveFile doc{ctx};
  bool opened = false;
  explicit Reopened(const std::string& path) {
    host.ctx = &ctx;
    opened = doc.Open(path, false, 0);
  }
};

// A small save with overlapping edits over five steps: a long block that takes three write
// chunks, a linked pair inside it, a line straddling its end, a silence pair and a repair over
// the silence. Old and new are the whole files before and after.
struct SaveScenario {
  DocFixture fx;
  std::string journal = journalPathFor(fx.wavPath);
  std::string countFile = fx.dir.file("count");
  Bytes oldFile, newFile;

  SaveScenario() {
    WaveFile& doc = fx.open(WavBuilder().staircase(40000));
    fx.block(1000, 21000, 0, [](int32_t f) { return f % 1000 - 500; });
    doc.CommitEdit(1, "Fade");
    auto* l = fx.block(15000, 16000, 0, [](int32_t) { return 7; });
    auto* r = fx.block(15000, 16000, 1, [](int32_t) { return -7; });
    WaveFile::LinkChannels(l, r);
    doc.CommitEdit(2, "Replace From File");
    doc.AddLinearEdit(20500, 23000, 100, -100, 1);
    doc.CommitEdit(1, "Interpolate");
    doc.AddLinearEdit(30000, 30100, 0, 0, 0);
    doc.AddLinearEdit(30000, 30100, 0, 0, 1);
    doc.CommitEdit(2, "Silence");
    fx.block(29990, 30010, 1, [](int32_t) { return 3; });
    doc.CommitEdit(1, "Repair");
    oldFile = slurp(fx.wavPath);
    newFile = oldFile;
    const auto edited = fx.read(0, doc.frameCount - 1);
    for (size_t k = 0; k < edited.size(); ++k)
      storeU16(&newFile[static_cast<size_t>(doc.dataOffset) + 2 * k],
               static_cast<uint16_t>(edited[k]));
    if (oldFile == newFile) throw std::runtime_error("the scenario changes nothing");
  }

  void reset() {
    spit(fx.wavPath, oldFile);
    fs::remove(journal);
  }

  int save(int stopAtBoundary) {
    return inChild(stopAtBoundary, countFile, [&] {
      BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
      fx.doc->WriteEditsToFile(f);
    });
  }

  std::string replayedText() const {
    return "The last save of " + fx.wavPath +
           " was interrupted, so its previous contents have been put back.";
  }
  std::string untrustedText() const {
    return "The save journal " + journal + " does not match " + fx.wavPath +
           ", so it was left alone and the file may hold part of an interrupted save.";
  }

  // Stops a save where the file is torn (the journal complete beside it); false if none is.
  bool tear() {
    for (int n = 0;; ++n) {
      reset();
      if (save(n) != -1) return false;
      const Bytes now = slurp(fx.wavPath);
      if (now != oldFile && now != newFile && fs::exists(journal)) return true;
    }
  }
};

TEST(SaveJournalTest, SaveStoppedAtEveryBoundaryOpensAsTheOldOrTheNewFile) {
  SaveScenario s;
  s.reset();
  const int boundaries = s.save(-1);
  ASSERT_GT(boundaries, 12);
  ASSERT_EQ(slurp(s.fx.wavPath), s.newFile);
  EXPECT_FALSE(fs::exists(s.journal));

  int torn = 0, old = 0, fresh = 0;
  for (int n = 0; n <= boundaries; ++n) {
    SCOPED_TRACE("stopped at boundary " + std::to_string(n));
    s.reset();
    ASSERT_EQ(s.save(n), n < boundaries ? -1 : boundaries);
    const Bytes left = slurp(s.fx.wavPath);
    const bool wasTorn = left != s.oldFile && left != s.newFile;
    torn += wasTorn;
    bool complete = false;
    if (fs::exists(s.journal)) {
      const Bytes j = slurp(s.journal);
      MemoryByteSource src(j.data(), j.size());
      complete = checkJournal(src, static_cast<int64_t>(left.size()), s.fx.doc->dataOffset).state ==
                 JournalState::Complete;
    }
    // A torn file always has its complete journal beside it.
    if (wasTorn) {
      EXPECT_TRUE(complete);
    }
    Reopened again(s.fx.wavPath);
    ASSERT_TRUE(again.opened);
    const Bytes now = slurp(s.fx.wavPath);
    ASSERT_TRUE(now == s.oldFile || now == s.newFile);
    old += now == s.oldFile;
    fresh += now == s.newFile;
    EXPECT_FALSE(fs::exists(s.journal));
    EXPECT_EQ(again.host.said(s.replayedText()), complete);
    if (!complete) {
      EXPECT_TRUE(again.host.messages.empty());
    }
  }
  // The stops really land inside the in-place writes, and on both sides of the commit.
  EXPECT_GT(torn, 0);
  EXPECT_GT(old, 0);
  EXPECT_GT(fresh, 0);
}

TEST(SaveJournalTest, ReplayStoppedAtEveryBoundaryStillOpensAsTheOldFile) {
  SaveScenario s;
  ASSERT_TRUE(s.tear());
  const Bytes tornFile = slurp(s.fx.wavPath);
  const Bytes tornJournal = slurp(s.journal);
  const auto restoreTorn = [&] {
    spit(s.fx.wavPath, tornFile);
    spit(s.journal, tornJournal);
  };
  const int boundaries = inChild(-1, s.countFile, [&] { Reopened again(s.fx.wavPath); });
  ASSERT_GT(boundaries, 3);
  for (int n = 0; n <= boundaries; ++n) {
    SCOPED_TRACE("replay stopped at boundary " + std::to_string(n));
    restoreTorn();
    ASSERT_EQ(inChild(n, s.countFile, [&] { Reopened again(s.fx.wavPath); }),
              n < boundaries ? -1 : boundaries);
    const bool journalLeft = fs::exists(s.journal);
    Reopened again(s.fx.wavPath);
    ASSERT_TRUE(again.opened);
    EXPECT_EQ(slurp(s.fx.wavPath), s.oldFile);
    EXPECT_FALSE(fs::exists(s.journal));
    EXPECT_EQ(again.host.said(s.replayedText()), journalLeft);
  }
}

// A journal whose save is still running (its lock held) is not another process's to replay.
TEST(SaveJournalTest, JournalOfASaveStillRunningIsLeftAlone) {
  SaveScenario s;
  ASSERT_TRUE(s.tear());
  const Bytes tornFile = slurp(s.fx.wavPath);
  {
    BinaryFile saving(s.journal, BinaryFile::Mode::Read);
    ASSERT_TRUE(saving.tryLock());
    Reopened again(s.fx.wavPath);
    EXPECT_TRUE(again.host.said("The save journal " + s.journal +
                                " is held by another process saving " + s.fx.wavPath +
                                ", so it was left alone."));
    EXPECT_EQ(slurp(s.fx.wavPath), tornFile);
    EXPECT_TRUE(fs::exists(s.journal));
  }
  Reopened again(s.fx.wavPath);
  EXPECT_TRUE(again.host.said(s.replayedText()));
  EXPECT_EQ(slurp(s.fx.wavPath), s.oldFile);
}

// Never write from a journal that cannot be trusted: the file stays as it is, torn or not,
// and the user hears of it. One cut short while being written is simply removed.
TEST(SaveJournalTest, UntrustedJournalsAreLeftAloneAndIncompleteOnesRemoved) {
  SaveScenario s;
  ASSERT_TRUE(s.tear());
  const Bytes tornFile = slurp(s.fx.wavPath);
  const Bytes goodJournal = slurp(s.journal);

  Bytes badSum = goodJournal;
  badSum[kJournalHeaderBytes + kJournalRegionHeaderBytes + 5] ^= 0x40;  // an original byte
  Bytes foreign(goodJournal.size(), 'x');
  for (const Bytes& bad : {badSum, foreign}) {
    spit(s.journal, bad);
    Reopened again(s.fx.wavPath);
    EXPECT_TRUE(again.opened);
    EXPECT_TRUE(again.host.said(s.untrustedText()));
    EXPECT_EQ(slurp(s.fx.wavPath), tornFile);
    EXPECT_EQ(slurp(s.journal), bad);
  }

  // Written for a file of another size (bytes were added after the data since).
  spit(s.journal, goodJournal);
  Bytes longer = tornFile;
  longer.push_back(0);
  spit(s.fx.wavPath, longer);
  {
    Reopened again(s.fx.wavPath);
    EXPECT_TRUE(again.host.said(s.untrustedText()));
    EXPECT_EQ(slurp(s.fx.wavPath), longer);
    EXPECT_TRUE(fs::exists(s.journal));
  }

  // A save does not go ahead while such a journal is in the way.
  spit(s.fx.wavPath, s.oldFile);
  {
    BinaryFile f(s.fx.wavPath, BinaryFile::Mode::ReadWrite);
    EXPECT_FALSE(s.fx.doc->WriteEditsToFile(f));
  }
  EXPECT_TRUE(s.fx.host.said("Cannot save " + s.fx.wavPath + ": the save journal " + s.journal +
                             " of an earlier save is in the way"));
  EXPECT_EQ(slurp(s.fx.wavPath), s.oldFile);
  EXPECT_EQ(s.fx.doc->undoSteps.size(), 5u);

  // Cut short: the file was not touched yet, so there is nothing to put back and nothing to say.
  spit(s.journal, Bytes(goodJournal.begin(), goodJournal.end() - 1));
  {
    Reopened again(s.fx.wavPath);
    EXPECT_TRUE(again.host.messages.empty());
    EXPECT_EQ(slurp(s.fx.wavPath), s.oldFile);
    EXPECT_FALSE(fs::exists(s.journal));
  }
}

// Read only: the journal is kept for when the file can be written again.
TEST(SaveJournalTest, ReadOnlyFileIsNotReplayed) {
  SaveScenario s;
  ASSERT_TRUE(s.tear());
  const Bytes tornFile = slurp(s.fx.wavPath);
  fs::permissions(s.fx.wavPath, fs::perms::owner_read);
  if (fileWritable(s.fx.wavPath)) GTEST_SKIP() << "permissions are not enforced for this user";
  Reopened again(s.fx.wavPath);
  EXPECT_TRUE(again.host.said("The last save of " + s.fx.wavPath +
                              " was interrupted, and its previous contents cannot be put back "
                              "while the file is read only."));
  EXPECT_EQ(slurp(s.fx.wavPath), tornFile);
  EXPECT_TRUE(fs::exists(s.journal));
}

// A failure part-way takes the whole save back: the step written before it must not stay in
// the file while the failed one is half there.
TEST(SaveJournalTest, FailedSavePutsTheFileBackAndKeepsEveryStep) {
  DocFixture fx;
  WaveFile& doc = fx.open(WavBuilder().staircase(3000));
  fx.block(100, 199, 0, [](int32_t) { return 9; });
  doc.CommitEdit(1, "Interpolate");
  doc.bigEditMode = true;
  doc.chunkSize = 100;
  fx.block(1000, 1999, 1, [](int32_t) { return 7; });
  doc.CommitEdit(1, "Fade");
  ASSERT_TRUE(doc.interps[1]->spilled);
  fs::resize_file(doc.store.path(), 0);
  const Bytes before = slurp(fx.wavPath);
  BinaryFile f(fx.wavPath, BinaryFile::Mode::ReadWrite);
  EXPECT_FALSE(doc.WriteEditsToFile(f));
  f.close();
  EXPECT_TRUE(fx.host.said("Failed to read from " + doc.store.path()));
  EXPECT_EQ(slurp(fx.wavPath), before);
  EXPECT_FALSE(fs::exists(journalPathFor(fx.wavPath)));
  EXPECT_EQ(doc.undoSteps.size(), 2u);
  EXPECT_EQ(doc.interps.size(), 2u);
}

// The reader against every prefix and every single-byte change of a real journal, and against
// well-checksummed journals whose regions overlap or reach outside the data.
TEST(SaveJournalTest, ReaderTrustsOnlyTheWholeUnchangedJournal) {
  TempDir dir;
  const std::string wavPath = dir.file("a.wav");
  WavBuilder().staircase(300).write(wavPath);
  const int64_t wavSize = static_cast<int64_t>(fs::file_size(wavPath));
  const std::vector<JournalRegion> regions = {{44, 8, 0}, {100, 40, 0}, {1000, 4, 0}};
  const auto journalOf = [&](const std::vector<JournalRegion>& rs) {
    const std::string path = dir.file("a.wav.tqj");
    fs::remove(path);
    BinaryFile wav(wavPath, BinaryFile::Mode::Read);
    BinaryFile journal;
    EXPECT_EQ(writeJournal(path, journal, wav, wavSize, 44, rs), JournalWriteError::None);
    journal.close();
    return slurp(path);
  };
  const auto check = [&](const Bytes& b, int64_t size = -1) {
    MemoryByteSource src(b.data(), b.size());
    return checkJournal(src, size < 0 ? wavSize : size, 44);
  };

  const Bytes good = journalOf(regions);
  const JournalCheck ok = check(good);
  ASSERT_EQ(ok.state, JournalState::Complete);
  ASSERT_EQ(ok.regions.size(), 3u);
  const Bytes wav = slurp(wavPath);
  for (const JournalRegion& r : ok.regions)
    EXPECT_TRUE(
        std::equal(good.begin() + r.at, good.begin() + r.at + r.bytes, wav.begin() + r.offset));
  EXPECT_EQ(check(good, wavSize + 4).state, JournalState::Mismatch);

  for (size_t n = 0; n < good.size(); ++n)
    ASSERT_EQ(check(Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(n))).state,
              JournalState::Incomplete)
        << "prefix of " << n;
  for (size_t k = 0; k < good.size(); ++k) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}}) {
      Bytes b = good;
      b[k] ^= flip;
      ASSERT_NE(check(b).state, JournalState::Complete) << "byte " << k;
    }
  }
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_EQ(check(longer).state, JournalState::Corrupt);

  EXPECT_EQ(check(journalOf({{44, 8, 0}, {48, 8, 0}})).state, JournalState::Corrupt);
  EXPECT_EQ(check(journalOf({{100, 8, 0}, {44, 8, 0}})).state, JournalState::Corrupt);
  EXPECT_EQ(check(journalOf({{0, 8, 0}})).state, JournalState::Corrupt);  // the header
}

}  // namespace
}  // namespace tolmar::test
