// A configuration file's characters as merge takes them, and the form to
// write a result back in. Besides what the reader takes (UTF-16LE with or
// without the mark, 8-bit), merge takes UTF-8 without a mark: the form git
// hands a merge driver under working-tree-encoding=UTF-16LE-BOM eol=crlf,
// with LF line ends, which git turns back into UTF-16LE and CR LF on checkout.
#pragma once
#include "platform/Platform.h"

#include <string>

class CConfigText {
public:
    // Text with a byte-order mark, or with zero bytes, is judged as the reader
    // judges it; any other text that is valid UTF-8 is UTF-8, and what is left
    // is 8-bit.
    explicit CConfigText(const std::string& bytes);

    // The characters, without a mark; in UTF-8 text a LF alone became CR LF.
    const WString& Chars() const { return m_chars; }
    // Chars for the reader: UTF-16LE with the mark.
    std::string ReaderBytes() const;
    // chars (lines ending in CR LF) in this text's form: UTF-8 as it came
    // (LF line ends if it had them); anything else as the component writes,
    // UTF-16LE with the mark.
    std::string Encode(const WString& chars) const;

private:
    bool m_bUtf8 = false;
    bool m_bLfLineEnds = false;
    WString m_chars;
};
