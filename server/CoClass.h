// What makes a class creatable: the creators the object map uses.
#pragma once
#include "server/ClassFactory.h"
#include "server/ComObject.h"

template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    typedef CComCreator2<CComCreator<CComObject<T>>, CComCreator<CComAggObject<T>>> _CreatorClass;
    typedef CComCreator<CComObjectCached<CComClassFactory>> _ClassFactoryCreatorClass;
};
