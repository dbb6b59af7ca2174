// Symbol visibility for the shared library. Everything is hidden by default;
// only what carries SURFKIT_API is part of the binary interface.
#pragma once

#if defined(_WIN32)
#define SURFKIT_API
#elif defined(__GNUC__) || defined(__clang__)
#define SURFKIT_API __attribute__((visibility("default")))
#else
#define SURFKIT_API
#endif
