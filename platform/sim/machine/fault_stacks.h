// Alternate signal stacks: every thread of a process whose faults are routed
// to the unhandled-exception filter gets a stack of its own for the fault
// dispatch, so that a thread that overflowed its stack still reaches the
// filter, as every thread does on Windows.
#pragma once

namespace platform {

// Gives the calling thread a fault stack unless it has one, and gives every
// thread started from now on one (they are released when the thread ends).
void EnableFaultStacks();

}  // namespace platform
