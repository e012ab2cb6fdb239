// Linked into a build of the program whose application framework fails to start.

#include "afx/afx_testing.h"

namespace {
const bool kFailing = (AfxFailWinInitForTesting(), true);
}  // namespace
