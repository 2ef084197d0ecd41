// Points XDG_DATA_HOME at a fresh folder for one test and removes it after.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace veilmark::testing {

class TempDataHome {
 public:
  TempDataHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vm-data-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    if (const char* old = std::getenv("XDG_DATA_HOME")) previous_ = old;
    setenv("XDG_DATA_HOME", root_.c_str(), 1);
  }
  ~TempDataHome() {
    if (previous_) {
      setenv("XDG_DATA_HOME", previous_->c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempDataHome(const TempDataHome&) = delete;
  TempDataHome& operator=(const TempDataHome&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path folder() const { return root_ / "Veilmark"; }

 private:
  std::filesystem::path root_;
  std::optional<std::string> previous_;
};

}  // namespace veilmark::testing
