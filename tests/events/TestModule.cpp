// The module record of this test program: the enumerators lock it while they live.
#include "server/Module.h"

CComModule _Module;
