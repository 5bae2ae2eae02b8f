// Turning the platform's error codes into HRESULTs (now in platform/).
#pragma once
#include "platform/Win32Error.h"
