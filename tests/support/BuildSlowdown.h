#pragma once

// How many times longer work takes in this build than in a plain one. ThreadSanitizer slows
// every memory access down, and with it the other side of an exchange a test bounds (a local
// server's answer, a worker's result), so such bounds are this many times longer there.
#if defined(__SANITIZE_THREAD__)
inline constexpr int buildSlowdown = 10;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr int buildSlowdown = 10;
#else
inline constexpr int buildSlowdown = 1;
#endif
#else
inline constexpr int buildSlowdown = 1;
#endif
