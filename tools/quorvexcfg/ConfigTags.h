// The version and the tags of one configuration file, in file order (a
// repeated identifier keeps its first place and its last value).
#pragma once
#include "platform/Bstr.h"
#include "platform/Platform.h"

#include <map>
#include <optional>
#include <vector>

using TagValue = std::optional<WString>;  // no value: a tag written without one

struct ConfigTags {
    WString version;
    std::vector<WString> order;
    std::map<WString, TagValue> values;

    // Takes one token of the reader; only the version and tags count.
    void Add(WCHAR token, const CBstr& name, const CBstr& value);
    const TagValue* Find(const WString& id) const {
        auto it = values.find(id);
        return it == values.end() ? nullptr : &it->second;
    }
};
