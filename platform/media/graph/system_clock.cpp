#include "graph/system_clock.h"

#include <chrono>

namespace media::graph {

HRESULT SystemClock::GetTime(REFERENCE_TIME* pTime) {
  if (!pTime) return E_POINTER;
  using Units = std::chrono::duration<REFERENCE_TIME, std::ratio<1, 10'000'000>>;
  *pTime = std::chrono::duration_cast<Units>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return S_OK;
}

}  // namespace media::graph
