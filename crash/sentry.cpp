// The event record and its JSON text.
#include "crash/sentry.h"

namespace kvdump {

void Sentry::SetRelease(const std::string& release) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_document["release"] = release;
}

std::string Sentry::Serialise() const {
  return m_document.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

}  // namespace kvdump
