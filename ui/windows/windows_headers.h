// The system's headers for the native wizard. The platform interface's types
// come first: the system's headers define many of its names as macros
// (TRUE, MAX_PATH, HKEY_CURRENT_USER, ...), which must not reach the
// interface's own declarations. Every file of the native wizard includes
// this instead of <windows.h>.
#pragma once

#include "platform/win_types.h"

#include <windows.h>
