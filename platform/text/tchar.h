// Text literals of the program's narrow character type.
#pragma once

#define _T(x) x
