#pragma once

// Symbols of the device library that callers (the plug-in, the host, tests) may use.
#if defined(_WIN32)
#if defined(CORVANE_BUILDING)
#define CORVANE_API __declspec(dllexport)
#else
#define CORVANE_API __declspec(dllimport)
#endif
#else
#define CORVANE_API __attribute__((visibility("default")))
#endif

// A printf-like function whose format the compiler checks: `index` is the format's position,
// `first` the first value's (0 for a va_list). MinGW's C library checks as Microsoft's unless
// told that the GNU forms (%zu, %llu) are meant.
#if defined(__MINGW32__)
#define CORVANE_PRINTF(index, first) __attribute__((format(gnu_printf, index, first)))
#elif defined(__GNUC__)
#define CORVANE_PRINTF(index, first) __attribute__((format(printf, index, first)))
#else
#define CORVANE_PRINTF(index, first)
#endif
