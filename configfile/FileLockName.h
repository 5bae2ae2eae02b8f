// The name of the lock that ConfigFile objects of every process share for one
// configuration file: made from the file's full path with its letter case
// folded, so that every spelling of the path that the file system takes as
// the same name gives the same lock.
#pragma once
#include "platform/Platform.h"

class CFileLockName {
public:
    // "Global\Quorvex3.ConfigFile.XXXXXXXXXXXXXXXX": 64-bit FNV-1a of the
    // upper-cased full path's UTF-16 code units, in hexadecimal (a hash keeps
    // the name short whatever the path's length). Empty, with the platform's
    // last error set, when the path has no full form.
    static WString Of(const wchar_t* path);

private:
    static WString FullPath(const wchar_t* path);
    static bool FoldCase(WString& text);
    static unsigned long long Hash(const WString& text);
};
