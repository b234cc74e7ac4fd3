// A failed check ends a fuzz run as a crash, its condition on standard error.
#ifndef TARSA_FUZZ_CHECK_H
#define TARSA_FUZZ_CHECK_H
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#define FUZZ_CHECK(c) ((c) ? (void)0 : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c), std::abort()))
#endif
