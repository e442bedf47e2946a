// Linux x86-64 ucontext_t to the Windows x64 CONTEXT.
#include "platform/sim/processes/thread_context.h"

#include <ucontext.h>

#include <cstring>

namespace platform {

#if defined(__x86_64__)

void ContextFromSignal(const void* ucontext, win::CONTEXT* context) {
  std::memset(context, 0, sizeof(*context));
  const auto* uc = static_cast<const ucontext_t*>(ucontext);
  const greg_t* r = uc->uc_mcontext.gregs;
  context->ContextFlags = win::CONTEXT_FULL | win::CONTEXT_SEGMENTS;
  context->Rax = static_cast<win::DWORD64>(r[REG_RAX]);
  context->Rcx = static_cast<win::DWORD64>(r[REG_RCX]);
  context->Rdx = static_cast<win::DWORD64>(r[REG_RDX]);
  context->Rbx = static_cast<win::DWORD64>(r[REG_RBX]);
  context->Rsp = static_cast<win::DWORD64>(r[REG_RSP]);
  context->Rbp = static_cast<win::DWORD64>(r[REG_RBP]);
  context->Rsi = static_cast<win::DWORD64>(r[REG_RSI]);
  context->Rdi = static_cast<win::DWORD64>(r[REG_RDI]);
  context->R8 = static_cast<win::DWORD64>(r[REG_R8]);
  context->R9 = static_cast<win::DWORD64>(r[REG_R9]);
  context->R10 = static_cast<win::DWORD64>(r[REG_R10]);
  context->R11 = static_cast<win::DWORD64>(r[REG_R11]);
  context->R12 = static_cast<win::DWORD64>(r[REG_R12]);
  context->R13 = static_cast<win::DWORD64>(r[REG_R13]);
  context->R14 = static_cast<win::DWORD64>(r[REG_R14]);
  context->R15 = static_cast<win::DWORD64>(r[REG_R15]);
  context->Rip = static_cast<win::DWORD64>(r[REG_RIP]);
  context->EFlags = static_cast<win::DWORD>(r[REG_EFL]);
  // REG_CSGSFS packs cs, gs and fs in 16 bits each; Linux user code runs with
  // the flat data selectors, which Windows reports as 0x2B.
  const auto segments = static_cast<unsigned long long>(r[REG_CSGSFS]);
  context->SegCs = static_cast<win::WORD>(segments & 0xFFFF);
  context->SegGs = static_cast<win::WORD>((segments >> 16) & 0xFFFF);
  context->SegFs = static_cast<win::WORD>((segments >> 32) & 0xFFFF);
  context->SegDs = context->SegEs = context->SegSs = 0x2B;
  if (uc->uc_mcontext.fpregs != nullptr) {
    static_assert(sizeof(*uc->uc_mcontext.fpregs) == sizeof(context->FltSave), "FXSAVE area");
    std::memcpy(context->FltSave, uc->uc_mcontext.fpregs, sizeof(context->FltSave));
    context->MxCsr = uc->uc_mcontext.fpregs->mxcsr;
  }
}

std::uint64_t StackPointerOf(const void* ucontext) {
  return static_cast<std::uint64_t>(static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs[REG_RSP]);
}

#else
#error "The simulated machine's fault dispatch knows the x86-64 registers only"
#endif

}  // namespace platform
