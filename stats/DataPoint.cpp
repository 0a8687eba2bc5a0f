// Comparison and printing of samples.
#include "stats/DataPoint.h"

#include <ostream>

bool operator==(const DataPoint& a, const DataPoint& b) {
  return a.time == b.time && a.value == b.value;
}

std::ostream& operator<<(std::ostream& out, const DataPoint& point) {
  return out << "(" << point.time.time_since_epoch().count() << ", " << point.value << ")";
}
