// A loopback port for a server a test starts (nginx, the test HTTP server).
#pragma once

namespace testing_support {

// A port on 127.0.0.1 that nothing listens on right now; 0 when none can be had.
int FreePort();

}  // namespace testing_support
