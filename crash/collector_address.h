// The crash collector of this deployment: its minidump endpoint with the
// project key. The build sets the host and key (BVL_CRASH_COLLECTOR_HOST,
// BVL_CRASH_PROJECT_KEY); a crash report goes to "https://" host
// "/api/41/minidump/?sentry_key=" key.
#pragma once

#ifndef BVL_CRASH_COLLECTOR_HOST
#define BVL_CRASH_COLLECTOR_HOST "crash.brimvale.example"
#endif
#ifndef BVL_CRASH_PROJECT_KEY
#define BVL_CRASH_PROJECT_KEY "7d3f0c9a5e1b48c2a6f4d0e8b2c71a95"
#endif

#define BVL_WIDEN_TEXT(text) L##text
#define BVL_WIDE(text) BVL_WIDEN_TEXT(text)

namespace kvdump {

inline const wchar_t* const kCrashCollectorHost = BVL_WIDE(BVL_CRASH_COLLECTOR_HOST);
inline const wchar_t* const kCrashUploadUrl =
    L"https://" BVL_WIDE(BVL_CRASH_COLLECTOR_HOST) L"/api/41/minidump/?sentry_key=" BVL_WIDE(BVL_CRASH_PROJECT_KEY);

}  // namespace kvdump
