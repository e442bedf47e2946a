// The register context of a Linux thread as the x64 CONTEXT of Windows: the
// translation that the fault dispatch and the process snapshot share.
#pragma once

#include "platform/exception_dispatch.h"

namespace platform {

// Fills `context` from a signal handler's ucontext_t (`ucontext` is its third
// argument). Safe inside a signal handler: it only copies memory.
void ContextFromSignal(const void* ucontext, win::CONTEXT* context);

// The stack pointer and instruction pointer of a signal handler's ucontext_t.
std::uint64_t StackPointerOf(const void* ucontext);

}  // namespace platform
