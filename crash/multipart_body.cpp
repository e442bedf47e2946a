// Multipart request bodies for the crash report upload.
#include "crash/multipart_body.h"

#include <cstdio>
#include <random>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"

namespace kvdump {
namespace {

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
  std::FILE* file = win::_wfopen(path, L"rb");
  if (file == nullptr) return false;
  // The handler thread that sends crash reports has a small stack.
  std::vector<char> buffer(64 * 1024);
  std::size_t count = 0;
  while ((count = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) bytes->append(buffer.data(), count);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace

std::string MultipartBoundary(std::uint32_t first, std::uint32_t second) {
  char text[64];
  std::snprintf(text, sizeof(text), "%s%08X%08X", "---------------------------", first, second);
  return text;
}

std::string RandomMultipartBoundary() {
  std::random_device source;
  return MultipartBoundary(source(), source());
}

bool BuildMultipartBody(const std::string& boundary, const std::map<std::wstring, std::wstring>& fields,
                        const std::map<std::wstring, std::wstring>& files, std::string* body, std::string* error) {
  std::string out;
  for (const auto& [name, value] : fields) {
    out += "--" + boundary + "\r\n";
    out += "Content-Disposition: form-data; name=\"" + platform::WideToUtf8(name) + "\"\r\n\r\n";
    out += platform::WideToUtf8(value) + "\r\n";
  }
  for (const auto& [name, path] : files) {
    std::string content;
    if (!ReadFileBytes(path, &content)) {
      if (error) *error = "cannot read " + platform::WideToUtf8(path);
      body->clear();
      return false;
    }
    out += "--" + boundary + "\r\n";
    out += "Content-Disposition: form-data; name=\"" + platform::WideToUtf8(name) + "\"; filename=\"" +
           platform::WideToUtf8(path) + "\"\r\n";
    out += "Content-Type: application/octet-stream\r\n\r\n";
    out += content;
    out += "\r\n";
  }
  out += "--" + boundary + "--\r\n";
  *body = std::move(out);
  return true;
}

}  // namespace kvdump
