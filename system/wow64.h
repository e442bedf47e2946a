// Whether the installer, a 32-bit program, runs on 64-bit Windows: there it
// installs the 64-bit agent, takes the 64-bit Program Files folder and runs
// no driver of its own.
#pragma once

// True when the current process runs under WOW64; a failed query counts as
// 32-bit Windows.
bool RunsUnderWow64();
