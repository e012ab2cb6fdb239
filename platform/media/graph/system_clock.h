// The graph's default reference clock: the system's monotonic time.
#pragma once

#include "com/com_object.h"
#include "media/media_interfaces.h"

namespace media::graph {

class SystemClock final : public ComObject<IReferenceClock> {
 public:
  HRESULT GetTime(REFERENCE_TIME* pTime) override;
};

}  // namespace media::graph
