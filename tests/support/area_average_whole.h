// The whole reduction in one call on the calling thread, as the tests check it.
#pragma once
#include "view/area_average.h"

// False (and target untouched) when the averager refuses the sizes or the depth.
inline bool AverageArea(const SourcePixels& source, const TargetPixels& target, AverageMode mode) {
  const AreaAverager averager(source, target.width, target.height, mode);
  if (!averager.Ok()) return false;
  averager.AverageRows(target, 0, target.height);
  return true;
}
