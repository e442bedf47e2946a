// The system's SECURITY_ATTRIBUTES for the interface's (shell_execute.h):
// the interface describes a descriptor by its fields, the system wants a
// descriptor it has initialised itself.
#pragma once

#include "platform/shell_execute.h"
#include "platform/windows/windows_api.h"

namespace platform_windows {

class SystemSecurityAttributes {
 public:
  // `attributes` is an interface SECURITY_ATTRIBUTES or null.
  explicit SystemSecurityAttributes(const void* attributes) {
    const auto* given = static_cast<const win::SECURITY_ATTRIBUTES*>(attributes);
    if (!given) return;
    attributes_.nLength = sizeof attributes_;
    attributes_.bInheritHandle = given->bInheritHandle ? TRUE : FALSE;
    attributes_.lpSecurityDescriptor = nullptr;
    const auto* descriptor = static_cast<const win::SECURITY_DESCRIPTOR*>(given->lpSecurityDescriptor);
    // A descriptor never initialised stands for none: the object gets the
    // default security, as with a null descriptor.
    if (descriptor && descriptor->revision == SECURITY_DESCRIPTOR_REVISION &&
        ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorDacl(&descriptor_, descriptor->daclPresent ? TRUE : FALSE,
                                    static_cast<::PACL>(const_cast<void*>(descriptor->dacl)),
                                    descriptor->daclDefaulted ? TRUE : FALSE)) {
      attributes_.lpSecurityDescriptor = &descriptor_;
    }
    given_ = true;
  }
  SystemSecurityAttributes(const SystemSecurityAttributes&) = delete;
  SystemSecurityAttributes& operator=(const SystemSecurityAttributes&) = delete;

  // The system's record, or null when none was given.
  ::SECURITY_ATTRIBUTES* get() { return given_ ? &attributes_ : nullptr; }

 private:
  bool given_ = false;
  ::SECURITY_ATTRIBUTES attributes_{};
  ::SECURITY_DESCRIPTOR descriptor_{};
};

}  // namespace platform_windows
