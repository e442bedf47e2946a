// The stream buffer a download's body flows into: it writes the body of a 200
// answer into the target file through the machine's file layer, passes over
// (up to a mebibyte of) the body of any other answer, and refuses a body that
// grows past its bound.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

#ifndef _TURN_OFF_PLATFORM_STRING
#define _TURN_OFF_PLATFORM_STRING
#endif
#include <cpprest/astreambuf.h>

#include "platform/win_types.h"

// What becomes of the body once the answer's status is known.
enum class BodyUse { kWrite, kPassOver, kRefuse };

// The most of a refusal's body (an error page) that is read and passed over
// before the transfer is stopped: the download has failed already, and an
// error page that never ends must not keep it running.
constexpr std::uint64_t kMaxPassedOverBytes = 1u << 20;

class DownloadSink : public concurrency::streams::details::streambuf_state_manager<std::uint8_t> {
 public:
  // `file` stays owned by the caller; 0 for `maxBytes` means no bound.
  DownloadSink(win::HANDLE file, std::uint64_t maxBytes);

  // Decides the body's use; pieces that arrived before are held until then.
  // Only the first decision counts.
  void Decide(BodyUse use);
  // Stops all further writes; the owner closes the file afterwards.
  void Detach();
  // Bytes of the body handed over so far, written or passed over.
  std::uint64_t Arrived() const { return arrived_.load(); }
  // The machine's error of the write that failed, 0 when none did.
  win::DWORD WriteError() const { return writeError_.load(); }

  bool can_seek() const override { return false; }
  bool has_size() const override { return false; }
  size_t buffer_size(std::ios_base::openmode) const override { return 0; }
  void set_buffer_size(size_t, std::ios_base::openmode) override {}
  size_t in_avail() const override { return 0; }
  pos_type getpos(std::ios_base::openmode) const override { return static_cast<pos_type>(arrived_.load()); }
  pos_type seekpos(pos_type, std::ios_base::openmode) override { return static_cast<pos_type>(traits::eof()); }
  pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
    return static_cast<pos_type>(traits::eof());
  }
  bool acquire(std::uint8_t*& ptr, size_t& count) override {
    ptr = nullptr;
    count = 0;
    return false;
  }
  void release(std::uint8_t*, size_t) override {}

 protected:
  pplx::task<int_type> _putc(std::uint8_t ch) override;
  pplx::task<size_t> _putn(const std::uint8_t* ptr, size_t count) override;
  pplx::task<int_type> _bumpc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  int_type _sbumpc() override { return traits::eof(); }
  pplx::task<int_type> _getc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  int_type _sgetc() override { return traits::eof(); }
  pplx::task<int_type> _nextc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  pplx::task<int_type> _ungetc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  pplx::task<size_t> _getn(std::uint8_t*, size_t) override { return pplx::task_from_result<size_t>(0); }
  size_t _scopy(std::uint8_t*, size_t) override { return 0; }
  pplx::task<bool> _sync() override { return pplx::task_from_result(true); }
  std::uint8_t* _alloc(size_t) override { return nullptr; }
  void _commit(size_t) override {}

 private:
  // Takes one piece once its use is known; throws to stop the transfer.
  size_t Take(BodyUse use, const std::uint8_t* data, size_t count);

  std::mutex mutex_;
  win::HANDLE file_;
  const std::uint64_t maxBytes_;
  std::atomic<bool> decided_{false};
  std::atomic<BodyUse> use_{BodyUse::kRefuse};
  pplx::task_completion_event<BodyUse> decision_;
  std::atomic<std::uint64_t> arrived_{0};
  std::atomic<win::DWORD> writeError_{0};
};
