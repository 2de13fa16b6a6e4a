#pragma once
// A fresh directory per test under the system temporary directory, removed with everything in
// it when the object goes, even if a test took away its permissions.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace tolmar::test {

class TempDir {
 public:
  TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
  // Under another directory (another filesystem, say).
  explicit TempDir(const std::filesystem::path& base) {
    // Tests run in parallel processes: the pid and a counter keep names apart, the random part
    // keeps them apart from a crashed run's leftovers.
    static std::atomic<int> serial{0};
    std::random_device rd;
    path_ = base / ("tolmar-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) +
                    "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string for the file APIs.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tolmar::test
