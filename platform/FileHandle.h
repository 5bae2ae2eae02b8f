// Owner of one file handle: closed on every path.
#pragma once
#include "platform/UniqueResource.h"

using CFileHandle = CUniqueResource<CHandleTraits>;
