#include "tools/quorvexcfg/ConfigTags.h"

#include "reader/ConfigReader.h"

void ConfigTags::Add(WCHAR token, const CBstr& name, const CBstr& value) {
    const WString id(name.Get(), name.Length());
    if (token == CConfigReader::TOKEN_VERSION) {
        version = id;
        return;
    }
    if (token != CConfigReader::TOKEN_TAG_VALUE && token != CConfigReader::TOKEN_TAG_EMPTY) return;
    if (values.count(id) == 0) order.push_back(id);
    values[id] = token == CConfigReader::TOKEN_TAG_VALUE ? TagValue(WString(value.Get(), value.Length())) : TagValue();
}
