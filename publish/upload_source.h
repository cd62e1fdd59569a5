// A local file as it goes to the server, with the count of what was sent.
#pragma once

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_handle.h"

namespace et::detail {

struct UploadSource {
  FileHandle file;
  curl_off_t size = 0;       // of the file when opened
  curl_off_t sent = 0;       // bytes handed to the network library
  curl_off_t line_ends = 0;  // CR LF pairs among them
  bool after_cr = false;

  // Back to the start, nothing sent yet: every store sends the whole file.
  void Rewind();
};

// Opens the file for reading. Raises FtpError ("Cannot open file "PATH".
// REASON") when it cannot be read or is a directory.
std::unique_ptr<UploadSource> OpenUploadSource(const std::string& path);

// libcurl's read callback; data is the UploadSource.
size_t ReadUploadSource(char* buffer, size_t size, size_t count, void* data);

}  // namespace et::detail
