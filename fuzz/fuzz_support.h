#pragma once
// Shared pieces of the fuzz targets: invariant checks that stop the run with
// a message, and a cap on work so a slow input shows up as a failure.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                              \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                         \
    }                                                                       \
  } while (0)
