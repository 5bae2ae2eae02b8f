// Builds a configuration file's bytes from the records of a `quorvexcfg dump`:
// a version record first, then tags with and without values. The bytes are
// exactly those the component writes for the same collection.
#pragma once
#include "tools/quorvexcfg/JsonLine.h"

#include <string>

class CConfigTextAssembler {
public:
    // Takes one record; on refusal returns false and says why in error.
    bool Add(const CJsonLine& record, std::string& error);
    // Says why the records seen so far do not make a file, or "" when they do.
    std::string Incomplete() const;
    const std::string& Bytes() const { return m_bytes; }

private:
    bool AddVersion(const CJsonLine& record, std::string& error);
    bool AddTag(const CJsonLine& record, bool withValue, std::string& error);

    bool m_bHasVersion = false;
    std::string m_bytes;
    WString m_strLine;
};
