// The system's security records built from the interface's: the interface
// keeps a security descriptor as plain fields (revision, whether a DACL is
// present, the DACL), the system wants its own opaque SECURITY_DESCRIPTOR.
// Used by every call that takes a SECURITY_ATTRIBUTES (processes, events,
// mutexes, files). Include it after the interface headers, in place of
// platform/windows/windows_api.h (which it includes).
#pragma once

#include "platform/shell_execute.h"
#include "platform/windows/windows_api.h"

namespace platform_windows {

class NativeSecurity {
 public:
  // `attributes` may be null (the system's defaults); so may its descriptor.
  explicit NativeSecurity(const win::SECURITY_ATTRIBUTES* attributes) {
    if (!attributes) return;
    attributes_.nLength = sizeof attributes_;
    attributes_.bInheritHandle = attributes->bInheritHandle;
    attributes_.lpSecurityDescriptor = nullptr;
    const auto* given = static_cast<const win::SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    if (given && ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) {
      // The interface's DACL, when one is given, is the system's ACL.
      ::SetSecurityDescriptorDacl(&descriptor_, given->daclPresent ? TRUE : FALSE,
                                  static_cast<::PACL>(const_cast<void*>(given->dacl)),
                                  given->daclDefaulted ? TRUE : FALSE);
      attributes_.lpSecurityDescriptor = &descriptor_;
    }
    given_ = true;
  }
  NativeSecurity(const NativeSecurity&) = delete;
  NativeSecurity& operator=(const NativeSecurity&) = delete;

  ::SECURITY_ATTRIBUTES* Get() { return given_ ? &attributes_ : nullptr; }

 private:
  bool given_ = false;
  ::SECURITY_DESCRIPTOR descriptor_{};
  ::SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace platform_windows
