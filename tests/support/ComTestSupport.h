// All of the Windows test support at once.
#pragma once
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "tests/support/ComApartment.h"
#include "tests/support/ErrorInfo.h"
#include "tests/support/LogFile.h"
#include "tests/support/NeutralLocaleTypeLib.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/QueryLoadSink.h"
#include "tests/support/Registry.h"
#include "tests/support/TempFolder.h"
