#pragma once

// A small library in four versions, to show that check-abi.sh tells a
// change that may break programs from one that cannot: version 2 changes a
// parameter's type, version 3 only adds a function, version 4 adds a field
// to a structure that programs hand to it.
#define FIXTURE_API __attribute__((visibility("default")))

namespace fixture {

struct Point {
  int x;
  int y;
#if FIXTURE_VERSION == 4
  int z;
#endif
};

FIXTURE_API int sum(const Point* point);
#if FIXTURE_VERSION == 2
FIXTURE_API int twice(long value);
#else
FIXTURE_API int twice(int value);
#endif
#if FIXTURE_VERSION == 3
FIXTURE_API int thrice(int value);
#endif

}  // namespace fixture
