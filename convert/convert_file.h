// One whole conversion: builds the media graph from the input file to an ASF writer, runs it with
// no reference clock, shows the progress line, and stops it.
#pragma once

#include "com/types.h"

// 0 when the graph was built, run and stopped; -1 after a failure, which has been reported and
// acknowledged on the console.
int ConvertFile(LPCTSTR lpszInFileName, LPCTSTR lpszOutFileName);

// A media time split into the fields of the progress display: hours (not reduced modulo 24),
// minutes, seconds and ticks of 34 ms (0 to 29).
struct MediaTimeFields {
  int nHours;
  int nMinutes;
  int nSeconds;
  int nTicks;
};

MediaTimeFields FormatMediaTime(REFERENCE_TIME rt);
