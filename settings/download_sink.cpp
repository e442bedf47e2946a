// The download body's stream buffer: writes through WriteFile of the machine,
// so a full disk or a failing write stops the transfer.
#include "settings/download_sink.h"

#include <algorithm>

#include <cpprest/http_msg.h>

#include "platform/files.h"

DownloadSink::DownloadSink(win::HANDLE file, std::uint64_t maxBytes)
    : streambuf_state_manager<std::uint8_t>(std::ios_base::out), file_(file), maxBytes_(maxBytes) {}

void DownloadSink::Decide(BodyUse use) {
  if (decided_.exchange(true)) return;
  use_ = use;
  decision_.set(use);
}

void DownloadSink::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = nullptr;
}

pplx::task<DownloadSink::int_type> DownloadSink::_putc(std::uint8_t ch) {
  return _putn(&ch, 1).then([ch](size_t) { return static_cast<int_type>(ch); });
}

pplx::task<size_t> DownloadSink::_putn(const std::uint8_t* ptr, size_t count) {
  if (decided_) {
    try {
      return pplx::task_from_result(Take(use_, ptr, count));
    } catch (...) {
      return pplx::task_from_exception<size_t>(std::current_exception());
    }
  }
  // The library waits for this task before it reuses the piece's memory or
  // reads on, so holding the piece costs no copy and no growth.
  auto self = std::static_pointer_cast<DownloadSink>(shared_from_this());
  return pplx::create_task(decision_).then([self, ptr, count](BodyUse use) { return self->Take(use, ptr, count); });
}

size_t DownloadSink::Take(BodyUse use, const std::uint8_t* data, size_t count) {
  if (use == BodyUse::kRefuse) throw web::http::http_exception("the download was stopped");
  const std::uint64_t total = arrived_.load() + count;
  if (maxBytes_ != 0 && total > maxBytes_) {
    throw web::http::http_exception("the answer is larger than " + std::to_string(maxBytes_) + " bytes");
  }
  if (use == BodyUse::kPassOver && total > kMaxPassedOverBytes) {
    throw web::http::http_exception("the refusal's body is larger than " + std::to_string(kMaxPassedOverBytes) +
                                    " bytes");
  }
  if (use == BodyUse::kWrite) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) throw web::http::http_exception("the download was stopped");
    size_t done = 0;
    while (done < count) {
      const win::DWORD piece = static_cast<win::DWORD>(std::min<size_t>(count - done, 1u << 30));
      win::DWORD written = 0;
      if (!win::WriteFile(file_, data + done, piece, &written, nullptr) || written == 0) {
        writeError_ = win::GetLastError();
        throw web::http::http_exception("cannot write the downloaded file, error " +
                                        std::to_string(win::GetLastError()));
      }
      done += written;
    }
  }
  arrived_ = total;
  return count;
}
