// ComPtr: one reference to a COM object, released when the pointer goes.
#pragma once

#include <unknwn.h>

#include <utility>

namespace bvlui {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : m_object(other.m_object) {
    if (m_object != nullptr) m_object->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }

  Interface* Get() const { return m_object; }
  Interface* operator->() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }
  // The slot for a function that hands out a new reference; the old one is
  // released first.
  Interface** Put() {
    Reset();
    return &m_object;
  }
  void Reset() {
    if (m_object != nullptr) std::exchange(m_object, nullptr)->Release();
  }

 private:
  Interface* m_object = nullptr;
};

}  // namespace bvlui
