// The three exceptions a reader throws out of Scan. Each owns copies of its
// texts, so it outlives the reader; `what` stays the base class's text and
// consumers read m_strMessage.
#include "reader/ConfigReader.h"

// ---- parse_exception: a syntax error ----

CConfigReader::parse_exception::parse_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message)
    : m_nLine(nLine), m_strLineText(lineText), m_strMessage(message) {}

CConfigReader::parse_exception::parse_exception(const parse_exception& other)
    : std::exception(other), m_nLine(other.m_nLine), m_strLineText(other.m_strLineText),
      m_strMessage(other.m_strMessage) {}

CConfigReader::parse_exception::~parse_exception() = default;

// ---- new_dovel_required_exception: a section only a newer application understands ----

CConfigReader::new_dovel_required_exception::new_dovel_required_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message)
    : m_nLine(nLine), m_strLineText(lineText), m_strMessage(message) {}

CConfigReader::new_dovel_required_exception::new_dovel_required_exception(const new_dovel_required_exception& other)
    : std::exception(other), m_nLine(other.m_nLine), m_strLineText(other.m_strLineText),
      m_strMessage(other.m_strMessage) {}

CConfigReader::new_dovel_required_exception::~new_dovel_required_exception() = default;

// ---- unexpected_exception: a directive where none is allowed ----

CConfigReader::unexpected_exception::unexpected_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message)
    : m_nLine(nLine), m_strLineText(lineText), m_strMessage(message) {}

CConfigReader::unexpected_exception::unexpected_exception(const unexpected_exception& other)
    : std::exception(other), m_nLine(other.m_nLine), m_strLineText(other.m_strLineText),
      m_strMessage(other.m_strMessage) {}

CConfigReader::unexpected_exception::~unexpected_exception() = default;
