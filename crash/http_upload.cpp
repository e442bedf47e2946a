// The multipart upload over cpprestsdk.
#include "crash/http_upload.h"

#include <filesystem>
#include <vector>

#ifndef _TURN_OFF_PLATFORM_STRING
#define _TURN_OFF_PLATFORM_STRING
#endif
#include <boost/asio/ssl.hpp>
#include <cpprest/http_client.h>

#include "crash/multipart_body.h"
#include "platform/codepage.h"
#include "platform/internet_settings.h"
#include "platform/machine.h"

namespace kvdump {
namespace {

const char kUserAgent[] = "Breakpad/1.0 (Windows)";

web::http::client::http_client_config ClientConfig(const web::uri& address, std::chrono::seconds timeout) {
  web::http::client::http_client_config config;
  config.set_timeout(timeout);
  config.set_validate_certificates(true);
  const std::wstring proxy = win::InternetPreconfiguredProxy(platform::Utf8ToWide(address.scheme()));
  if (!proxy.empty()) config.set_proxy(web::web_proxy(web::uri("http://" + platform::WideToUtf8(proxy))));
  // The system's CA store plus the roots this machine trusts besides it.
  const std::filesystem::path roots = platform::Machine::Current().TrustedRootsFile();
  config.set_ssl_context_callback([roots](boost::asio::ssl::context& context) {
    boost::system::error_code error;
    context.set_default_verify_paths(error);
    std::error_code missing;
    if (std::filesystem::file_size(roots, missing) > 0 && !missing) context.load_verify_file(roots.string(), error);
  });
  return config;
}

}  // namespace

UploadResult SendMultipartPostRequest(const std::wstring& url, const std::map<std::wstring, std::wstring>& fields,
                                      const std::map<std::wstring, std::wstring>& files,
                                      std::chrono::seconds timeout) {
  UploadResult result;
  const std::string boundary = RandomMultipartBoundary();
  std::string body;
  if (!BuildMultipartBody(boundary, fields, files, &body, &result.error)) return result;
  try {
    web::uri full(platform::WideToUtf8(url));
    web::http::client::http_client client(full.authority(), ClientConfig(full, timeout));
    web::http::http_request request(web::http::methods::POST);
    request.set_request_uri(full.resource());
    request.headers().add("User-Agent", kUserAgent);
    request.headers().set_content_type("multipart/form-data; boundary=" + boundary);
    request.set_body(std::vector<unsigned char>(body.begin(), body.end()));
    web::http::http_response response = client.request(request).get();
    result.status = response.status_code();
    result.response = response.extract_utf8string(true).get();
  } catch (const std::exception& failure) {
    // The library reports every transport failure (refused, reset, timed
    // out, certificate refused) by an exception; the caller sees no answer.
    result.status = 0;
    result.error = failure.what();
  }
  return result;
}

}  // namespace kvdump
