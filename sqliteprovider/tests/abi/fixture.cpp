#include "fixture.h"

namespace fixture {

int sum(const Point* point) { return point->x + point->y; }

#if FIXTURE_VERSION == 2
int twice(long value) { return static_cast<int>(value * 2); }
#else
int twice(int value) { return value * 2; }
#endif

#if FIXTURE_VERSION == 3
int thrice(int value) { return value * 3; }
#endif

}  // namespace fixture
