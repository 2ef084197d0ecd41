// A scratch file that goes away on every road out of its scope, the
// exceptional ones included: it holds a copy of a message or attachment.
#pragma once

#include <string>
#include <utility>

#include "base/local_files.h"

namespace veilmark {

class ScratchFile {
 public:
  explicit ScratchFile(std::u16string path) : path_(std::move(path)) {}
  ~ScratchFile() { Remove(); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::u16string& path() const { return path_; }
  void Remove() {
    if (path_.empty()) return;
    DeleteLocalFile(path_);
    path_.clear();
  }

 private:
  std::u16string path_;
};

}  // namespace veilmark
