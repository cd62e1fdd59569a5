#include "publish/upload_source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "publish/errors.h"

namespace et::detail {

void UploadSource::Rewind() {
  std::rewind(file.get());
  sent = line_ends = 0;
  after_cr = false;
}

std::unique_ptr<UploadSource> OpenUploadSource(const std::string& path) {
  auto source = std::make_unique<UploadSource>();
  source->file.reset(std::fopen(path.c_str(), "rb"));
  struct stat st {};
  if (source->file && ::fstat(::fileno(source->file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    source->file.reset();
    errno = EISDIR;
  }
  if (!source->file) throw FtpError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  source->size = static_cast<curl_off_t>(st.st_size);
  return source;
}

size_t ReadUploadSource(char* buffer, size_t size, size_t count, void* data) {
  auto* source = static_cast<UploadSource*>(data);
  const size_t n = std::fread(buffer, size, count, source->file.get());
  if (n == 0 && std::ferror(source->file.get())) return CURL_READFUNC_ABORT;
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] == '\n' && source->after_cr) ++source->line_ends;
    source->after_cr = buffer[i] == '\r';
  }
  source->sent += static_cast<curl_off_t>(n);
  return n;
}

}  // namespace et::detail
