#include "dsp/fingerprint_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>

#include "document/binary_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace tolmar::test {
namespace {

std::vector<uint8_t> headerOnly(int32_t n, size_t totalBytes) {
  std::vector<uint8_t> b(totalBytes, 0);
  if (totalBytes >= 4) storeU32(b.data(), static_cast<uint32_t>(n));
  return b;
}

TEST(FingerprintFile, ImageIsNThenLeftRightPairsLittleEndian) {
  std::vector<double> l(4096), r(4096);
  for (size_t k = 0; k < l.size(); ++k) {
    l[k] = 0.25 * static_cast<double>(k);
    r[k] = 1.0 / (1.0 + static_cast<double>(k));
  }
  l[7] = std::numeric_limits<double>::denorm_min();
  const std::vector<uint8_t> image = fingerprintFileImage(4096, l.data(), r.data());
  ASSERT_EQ(image.size(), 65540u);
  EXPECT_EQ(loadU32(image.data()), 4096u);
  // Bin 1's left value 0.25 = 0x3FD0000000000000, stored low byte first at offset 20.
  EXPECT_EQ(image[20 + 7], 0x3F);
  EXPECT_EQ(image[20 + 6], 0xD0);
  const auto back = parseFingerprintFile(image.data(), image.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->n, 4096);
  EXPECT_EQ(back->left, l);
  EXPECT_EQ(back->right, r);
}

TEST(FingerprintFile, RefusesWrongSizesAndLengthsTheEngineCannotHold) {
  EXPECT_FALSE(parseFingerprintFile(nullptr, 0));
  const std::vector<uint8_t> three = {0, 16, 0};
  EXPECT_FALSE(parseFingerprintFile(three.data(), three.size()));
  for (int32_t n : {128, 16384}) {
    const auto ok = headerOnly(n, static_cast<size_t>(16 * n + 4));
    EXPECT_TRUE(parseFingerprintFile(ok.data(), ok.size())) << n;
    EXPECT_FALSE(parseFingerprintFile(ok.data(), ok.size() - 1)) << n;
    const auto longer = headerOnly(n, static_cast<size_t>(16 * n + 5));
    EXPECT_FALSE(parseFingerprintFile(longer.data(), longer.size())) << n;
  }
  // Sizes that match 16·N + 4 but whose N is no engine length.
  for (int32_t n : {0, 1, 64, 3000, 32768, -128}) {
    const size_t bytes = n >= 0 ? static_cast<size_t>(16) * static_cast<uint32_t>(n) + 4 : 4;
    const auto bad = headerOnly(n, bytes);
    EXPECT_FALSE(parseFingerprintFile(bad.data(), bad.size())) << n;
  }
  // 16·N + 4 wraps to 20 in 32 bits for N = 2^28 + 1: a 20-byte file must not pass.
  const auto wraps = headerOnly(0x10000001, 20);
  EXPECT_FALSE(parseFingerprintFile(wraps.data(), wraps.size()));
}

TEST(FingerprintFile, RefusesMagnitudesThatAreNotFiniteOrAreNegative) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf, -1.0, -std::numeric_limits<double>::denorm_min()}) {
    for (bool rightChannel : {false, true}) {
      std::vector<double> l(128, 1.0), r(128, 1.0);
      (rightChannel ? r : l)[127] = bad;
      const auto image = fingerprintFileImage(128, l.data(), r.data());
      EXPECT_FALSE(parseFingerprintFile(image.data(), image.size())) << bad << rightChannel;
      TempDir dir;
      writeFileBytes(dir.file("bad.fpr"), image);
      EXPECT_FALSE(readFingerprintFile(dir.file("bad.fpr"))) << bad << rightChannel;
    }
  }
  // Zero is a valid magnitude (a silent noise sample).
  std::vector<double> zeros(128, 0.0);
  const auto image = fingerprintFileImage(128, zeros.data(), zeros.data());
  EXPECT_TRUE(parseFingerprintFile(image.data(), image.size()));
}

TEST(FingerprintFile, ReadsAndWritesFilesAndChecksTheSizeBeforeReading) {
  TempDir dir;
  std::vector<double> l(128, 1.0), r(128, 2.0);
  const std::string path = dir.file("a.fpr");
  writeFingerprintFile(path, 128, l.data(), r.data());
  EXPECT_EQ(std::filesystem::file_size(path), 2052u);
  const auto back = readFingerprintFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->right, r);

  // A huge file with a valid header is refused from its size alone.
  const std::string big = dir.file("big.fpr");
  writeFileBytes(big, headerOnly(4096, 4));
  std::filesystem::resize_file(big, uintmax_t{1} << 32);
  EXPECT_FALSE(readFingerprintFile(big));

  EXPECT_THROW(readFingerprintFile(dir.file("missing.fpr")), FileError);
  EXPECT_THROW(writeFingerprintFile(dir.file("no/such/dir.fpr"), 128, l.data(), r.data()),
               FileError);
  EXPECT_EQ(invalidFingerprintText("/x/y.fpr"), "/x/y.fpr is not a valid noise fingerprint file");
}

TEST(FingerprintFile, AFailedWriteLeavesThePreviousFileWhole) {
  TempDir dir;
  const std::string path = dir.file("a.fpr");
  std::vector<double> l(4096, 1.0), r(4096, 2.0);
  writeFingerprintFile(path, 128, l.data(), r.data());
  const std::vector<uint8_t> before = readFileBytes(path);

  // A file-size limit makes the write fail part way, as a full disk would.
  {
    const FileSizeLimit limit(10000);
    EXPECT_THROW(writeFingerprintFile(path, 4096, l.data(), r.data()), FileError);
  }

  EXPECT_EQ(readFileBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FingerprintFile, SavingThroughALinkWritesTheFileItNames) {
  TempDir dir;
  const std::string real = dir.file("real.fpr");
  const std::string link = dir.file("a.fpr");
  writeFileBytes(real, {});
  std::filesystem::create_symlink(real, link);
  std::vector<double> l(128, 1.0), r(128, 2.0);
  writeFingerprintFile(link, 128, l.data(), r.data());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFileBytes(real), fingerprintFileImage(128, l.data(), r.data()));
}

}  // namespace
}  // namespace tolmar::test
