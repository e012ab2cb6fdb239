#include "convert/convert_file.h"

MediaTimeFields FormatMediaTime(REFERENCE_TIME rt) {
  // Only the low 32 bits of the millisecond count are kept, as the display always did.
  const auto ms = static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(rt / 10000)));
  MediaTimeFields fields;
  fields.nHours = ms / 3600000;
  fields.nMinutes = (ms % 3600000) / 60000;
  fields.nSeconds = (ms % 60000) / 1000;
  fields.nTicks = (ms % 1000) / 34;
  return fields;
}
