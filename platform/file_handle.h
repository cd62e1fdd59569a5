// An open C stream owned by one object: closed when the owner dies.
#pragma once

#include <cstdio>
#include <memory>

namespace et {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A C stream that closes itself; release() it to close it by hand and see
// whether closing failed.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace et
