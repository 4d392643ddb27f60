#pragma once

// Whether this program was built with a sanitizer, for the few tests that
// measure at smaller sizes or leave a repeat to the optimised tests there:
// under AddressSanitizer or ThreadSanitizer each step costs many times more.

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANE_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVANE_SANITIZED_BUILD 1
#endif
#endif
#ifndef ORVANE_SANITIZED_BUILD
#define ORVANE_SANITIZED_BUILD 0
#endif

#if defined(__SANITIZE_THREAD__)
#define ORVANE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVANE_THREAD_SANITIZER 1
#endif
#endif
#ifndef ORVANE_THREAD_SANITIZER
#define ORVANE_THREAD_SANITIZER 0
#endif

// First in a test whose sanitized run costs minutes and runs no code its
// suite's other tests do not run there (the same game played twice and
// compared): a sanitized build skips it, the optimised tests run it.
#define ORVANE_OPTIMISED_ONLY()                                                                                   \
    do                                                                                                            \
    {                                                                                                             \
        if (ORVANE_SANITIZED_BUILD)                                                                               \
            GTEST_SKIP() << "run by the optimised tests";                                                         \
    } while (false)
