// A seam for tests of a program's start-up: makes AfxWinInit report failure.
#pragma once

void AfxFailWinInitForTesting();
