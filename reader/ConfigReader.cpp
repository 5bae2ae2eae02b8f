#include "reader/ConfigReader.h"

#include "platform/Bstr.h"
#include "platform/Win32Error.h"
#include "reader/CharClass.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr WCHAR CHAR_LF = 0x000A;
constexpr WCHAR CHAR_TAB = 0x0009;

// Wide-string literals written once, as WString has no portable literal form.
WString Text(const char* ascii) { return WString(ascii, ascii + std::strlen(ascii)); }

const WString& Keyword(int which) {
    static const WString keywords[] = {Text("END"), Text("TEST"), Text("CAN_IGNORE"), Text("MUST_UNDERSTAND")};
    return keywords[which];
}
enum { KEYWORD_END, KEYWORD_TEST, KEYWORD_CAN_IGNORE, KEYWORD_MUST_UNDERSTAND };

}  // namespace

CConfigReader::CConfigReader(HANDLE hFile)
    : m_hFile(hFile), m_pPos(nullptr), m_bUnicode(FALSE), m_bVersionSeen(false), m_token(0), m_ch(0), m_nLine(1) {}

CConfigReader::~CConfigReader() = default;

// ---- Loading --------------------------------------------------------------------

HRESULT CConfigReader::Init() {
    m_bVersionSeen = false;
    m_nLine = 1;
    m_strLineText.clear();
    m_strLineText.reserve(256);  // most lines never grow it again
    m_ch = 0;
    m_actions = {};
    const HRESULT hr = Load(m_hFile);
    if (FAILED(hr)) return hr;
    NextChar();
    return S_OK;
}

HRESULT CConfigReader::Load(HANDLE hFile) {
    m_pBuffer.reset();
    m_pPos = nullptr;
    m_bUnicode = FALSE;

    // A read after an earlier read or write of the same open file sees it whole.
    if (SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return HResultFromLastError();

    SetLastError(NO_ERROR);
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(hFile, &sizeHigh);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return HResultFromLastError();
    if (sizeHigh != 0 || size > UINT_MAX - 2) return E_OUTOFMEMORY;  // more than one buffer can hold

    m_pBuffer.reset(new (std::nothrow) BYTE[std::size_t(size) + 2]);
    if (!m_pBuffer) return E_OUTOFMEMORY;
    m_pPos = m_pBuffer.get();

    DWORD count = 0;
    if (!ReadFile(hFile, m_pBuffer.get(), size, &count, nullptr)) {
        const HRESULT hr = HResultFromLastError();
        m_pBuffer.reset();
        m_pPos = nullptr;
        return hr;
    }
    if (count > 0) JudgeEncoding(count);
    PlaceTerminator(count);
    return S_OK;
}

// UTF-16 when the platform's text test says so; data that begins with the
// byte-order mark FF FE is UTF-16 in any case, and the mark is skipped.
void CConfigReader::JudgeEncoding(DWORD count) {
    int flags = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS |
                IS_TEXT_UNICODE_SIGNATURE;
    const int tested = count > INT_MAX ? INT_MAX - 1 : static_cast<int>(count);
    const BOOL verdict = IsTextUnicode(m_pBuffer.get(), tested, &flags);
    const bool hasMark = count >= 2 && m_pBuffer[0] == 0xFF && m_pBuffer[1] == 0xFE;
    const bool mark = hasMark || (flags & IS_TEXT_UNICODE_SIGNATURE) != 0;
    m_bUnicode = verdict || mark;
    if (mark) m_pPos += 2;
}

// The end-of-input character after the data takes the place of bounds tests.
// In UTF-16 an odd last byte has no partner and is dropped.
void CConfigReader::PlaceTerminator(DWORD count) {
    if (m_bUnicode) {
        const DWORD end = count & ~DWORD(1);
        m_pBuffer[end] = static_cast<BYTE>(CHAR_END_OF_INPUT);
        m_pBuffer[end + 1] = 0;
    } else {
        m_pBuffer[count] = static_cast<BYTE>(CHAR_END_OF_INPUT);
    }
}

const BYTE* CConfigReader::DataStart() const {
    const BYTE* start = m_pBuffer.get();
    return m_bUnicode && start[0] == 0xFF && start[1] == 0xFE ? start + 2 : start;
}

// ---- Characters -------------------------------------------------------------------

// Batched form of the collecting loops: while the current character is
// printable ASCII (U+0020..U+007E) and accepted, append it to `out` and move
// on. Such characters are never CR or the end of input and always join the
// line text, so the run is appended to both strings at once (the current
// character is in the line text already) and the character after it becomes
// current: the same state as one NextChar at a time, without its per-character
// cost. Returns false, changing nothing, when the current character does not qualify.
template <class Accept>
bool CConfigReader::CollectAsciiRun(WString& out, Accept accept) {
    const auto qualifies = [&accept](unsigned c) { return c >= 0x20 && c < 0x7F && accept(static_cast<WCHAR>(c)); };
    if (!qualifies(m_ch)) return false;
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const BYTE* const start = m_pPos - unit;
    const BYTE* end = m_pPos;
    if (m_bUnicode) {
        while (qualifies(end[0] | (end[1] << 8))) end += 2;
    } else {
        while (qualifies(*end)) ++end;
    }
    const size_t count = static_cast<size_t>(end - start) / unit;
    AppendChars(out, start, count);
    AppendChars(m_strLineText, start + unit, count - 1);
    m_ch = CharAt(end - unit);
    m_pPos = end;
    NextChar();
    return true;
}

void CConfigReader::AppendChars(WString& out, const BYTE* from, size_t count) const {
    if (count < 16) {
        // Short runs (digit groups, names): a copy call would cost more.
        const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
        for (size_t i = 0; i < count; ++i, from += unit) out.push_back(CharAt(from));
        return;
    }
    const size_t old = out.size();
    out.resize(old + count);
    if (m_bUnicode) {
        // The data is UTF-16 little-endian, as are the 16-bit units of every target.
        std::memcpy(&out[old], from, count * sizeof(WCHAR));
    } else {
        std::copy(from, from + count, out.begin() + static_cast<std::ptrdiff_t>(old));
    }
}

void CConfigReader::SkipWhite() {
    while (m_ch != CHAR_CR && CCharClass::IsSpace(m_ch)) NextChar();
}

void CConfigReader::NewLine() {
    while (m_ch == CHAR_CR) {
        NextChar();
        if (m_ch == CHAR_LF) NextChar();
        SkipWhite();
    }
}

// ---- Errors ---------------------------------------------------------------------------

// An error found at the CR that ends a line, or at the end of input right
// after a line end, meets a count that has moved on and a cleared text. Such
// an error names the line that this line end closes, with that line's text.
// Returns the position of that CR, or null when the error is elsewhere.
const BYTE* CConfigReader::ClosedLineEnd() const {
    if (!m_pPos) return nullptr;
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const BYTE* current = m_pPos - unit;
    if (m_ch == CHAR_CR) return current;
    if (m_ch != CHAR_END_OF_INPUT) return nullptr;
    const BYTE* start = DataStart();
    if (current - unit < start) return nullptr;
    const BYTE* previous = current - unit;
    if (CharAt(previous) == CHAR_CR) return previous;
    if (CharAt(previous) == CHAR_LF && previous - unit >= start && CharAt(previous - unit) == CHAR_CR)
        return previous - unit;
    return nullptr;
}

ULONG CConfigReader::ErrorLine() const { return ClosedLineEnd() ? m_nLine - 1 : m_nLine; }

WString CConfigReader::ErrorLineText() const {
    const BYTE* lineEnd = ClosedLineEnd();
    if (!lineEnd) return m_strLineText;
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const BYTE* start = DataStart();
    const BYTE* lineStart = lineEnd;
    while (lineStart - unit >= start && CharAt(lineStart - unit) != CHAR_CR) lineStart -= unit;
    WString text;
    for (const BYTE* p = lineStart; p < lineEnd; p += unit) {
        if (CCharClass::IsPrint(CharAt(p))) text.push_back(CharAt(p));
    }
    return text;
}

void CConfigReader::Expected(WString item) {
    const WString message = Text("Expected: ") + item;
    throw parse_exception(ErrorLine(), ErrorLineText().c_str(), message.c_str());
}

// ---- Lexical items ---------------------------------------------------------------------

WString CConfigReader::GetChar(WCHAR c) {
    if (m_ch != c) Expected(WString(1, c));
    const WString result(1, m_ch);
    NextChar();
    return result;
}

WString CConfigReader::GetName() {
    if (!CCharClass::IsAlpha(m_ch) && !CCharClass::IsDigit(m_ch)) Expected(Text("Name character (A-Z, 0-9, _)"));
    WString name;
    const auto isNameChar = [](WCHAR c) { return CCharClass::IsAlpha(c) || CCharClass::IsDigit(c) || c == '_'; };
    while (isNameChar(m_ch)) {
        if (CollectAsciiRun(name, isNameChar)) continue;
        name.push_back(m_ch);
        NextChar();
    }
    return name;
}

WString CConfigReader::GetDigits() {
    if (!CCharClass::IsDigit(m_ch)) Expected(Text("Numeric digit"));
    WString digits;
    while (CCharClass::IsDigit(m_ch)) {
        if (CollectAsciiRun(digits, [](WCHAR c) { return c >= '0' && c <= '9'; })) continue;
        digits.push_back(m_ch);
        NextChar();
    }
    return digits;
}

WString CConfigReader::GetHexDigits() {
    if (!CCharClass::IsXDigit(m_ch)) Expected(Text("Hex digit"));
    WString digits;
    while (CCharClass::IsXDigit(m_ch)) {
        if (CollectAsciiRun(digits, [](WCHAR c) { return CCharClass::IsXDigit(c); })) continue;
        digits.push_back(m_ch);
        NextChar();
    }
    return digits;
}

WString CConfigReader::GetEscapedChar() {
    NextChar();
    WCHAR mapped;
    switch (m_ch) {
    case '\\': mapped = '\\'; break;
    case '"': mapped = '"'; break;
    case 'n':
    case 'N': mapped = CHAR_LF; break;
    case 'r':
    case 'R': mapped = CHAR_CR; break;
    case 't':
    case 'T': mapped = CHAR_TAB; break;
    default: Expected(Text("Escaped character (BACKSLASH, N, T, R, QUOTE)"));
    }
    NextChar();
    return WString(1, mapped);
}

// The rest of the line; the end of input also ends it, so a last line without
// a line end is taken as it stands.
WString CConfigReader::GetLine() {
    WString line;
    while (m_ch != CHAR_CR && m_ch != CHAR_END_OF_INPUT) {
        if (CollectAsciiRun(line, [](WCHAR) { return true; })) continue;
        line.push_back(m_ch);
        NextChar();
    }
    return line;
}

WString CConfigReader::GetQuotedTagValue() {
    GetChar('"');
    // The result replaces m_strValue: start from its storage, not a new one.
    WString value;
    value.swap(m_strValue);
    value.clear();
    while (m_ch != '"') {
        if (CCharClass::IsCntrl(m_ch)) Expected(Text("Closing quote"));
        if (m_ch == '\\') {
            value += GetEscapedChar();
        } else if (!CollectAsciiRun(value, [](WCHAR c) { return c != '"' && c != '\\'; })) {
            value.push_back(m_ch);
            NextChar();
        }
    }
    GetChar('"');
    return value;
}

// ---- Statements ---------------------------------------------------------------------------

void CConfigReader::TagSpecVersion() {
    NewLine();
    WString text = GetDigits();
    text += GetChar('.');
    text += GetDigits();
    if (m_ch == '.') {
        text += GetChar('.');
        text += GetDigits();
    }
    NewLine();
    m_bVersionSeen = true;
    m_strName = std::move(text);
    m_token = TOKEN_VERSION;
}

void CConfigReader::TagAssignment() {
    NewLine();
    // The identifier replaces m_strName: start from its storage, not a new one.
    WString identifier;
    identifier.swap(m_strName);
    identifier.assign(GetHexDigits());
    for (int group = 1; group < 4; ++group) {
        identifier += GetChar('.');
        identifier += GetHexDigits();
    }
    SkipWhite();
    GetChar('=');
    SkipWhite();
    if (m_ch == CHAR_CR) {
        m_strValue.clear();
        m_token = TOKEN_TAG_EMPTY;
    } else {
        m_strValue = GetQuotedTagValue();
        m_token = TOKEN_TAG_VALUE;
    }
    NewLine();
    m_strName = std::move(identifier);
}

void CConfigReader::Comment() {
    NewLine();
    GetChar(';');
    m_strName = GetLine();
    NewLine();
    m_token = TOKEN_COMMENT;
}

void CConfigReader::Test() {
    NewLine();
    WString text = GetLine();
    NewLine();
    m_token = TOKEN_TEST_LINE;
    m_strName = std::move(text);
}

void CConfigReader::Ignore() {
    NewLine();
    m_strName = GetLine();
    NewLine();
    m_token = TOKEN_IGNORED_LINE;
}

// ---- Sections ------------------------------------------------------------------------------

CConfigReader::IDENTIFIER CConfigReader::LookupIdentifier(WString name) {
    if (name == Keyword(KEYWORD_END)) return IDENTIFIER_END;
    if (name == Keyword(KEYWORD_TEST)) return IDENTIFIER_TEST;
    return IDENTIFIER_OTHER;
}

CConfigReader::DIRECTIVE CConfigReader::LookupDirective(WString name) {
    if (name == Keyword(KEYWORD_END)) return DIRECTIVE_END;
    if (name == Keyword(KEYWORD_CAN_IGNORE)) return DIRECTIVE_CAN_IGNORE;
    if (name == Keyword(KEYWORD_MUST_UNDERSTAND)) return DIRECTIVE_MUST_UNDERSTAND;
    Expected(Text("Section directive, one of CAN_IGNORE, MUST_UNDERSTAND, END."));
}

CConfigReader::SECTION_ACTION CConfigReader::CurrentAction() const {
    return m_actions.empty() ? ACTION_PROCESS : m_actions.top();
}

void CConfigReader::PushAction(IDENTIFIER identifier, DIRECTIVE directive) {
    if (CurrentAction() == ACTION_IGNORE) {
        m_actions.push(ACTION_IGNORE);
        return;
    }
    if (directive == DIRECTIVE_END) {
        throw unexpected_exception(ErrorLine(), ErrorLineText().c_str(), Text("Unexpected directive").c_str());
    }
    if (identifier == IDENTIFIER_TEST) {
        m_actions.push(ACTION_TEST);
    } else if (directive == DIRECTIVE_CAN_IGNORE) {
        m_actions.push(ACTION_IGNORE);
    } else {
        throw new_dovel_required_exception(ErrorLine(), ErrorLineText().c_str(),
                                           Text("Section is not understood").c_str());
    }
}

void CConfigReader::PopAction() { m_actions.pop(); }

void CConfigReader::EscapeStatement() {
    NewLine();
    GetChar('!');
    SkipWhite();
    const IDENTIFIER identifier = LookupIdentifier(GetName());
    if (identifier == IDENTIFIER_END) {
        if (m_actions.empty()) Expected(Text("Unexpected END"));
        PopAction();
    } else {
        SkipWhite();
        const DIRECTIVE directive = LookupDirective(GetName());
        PushAction(identifier, directive);
    }
    NewLine();
}

void CConfigReader::BodyStatement() {
    NewLine();
    if (m_ch == '!') {
        EscapeStatement();
    } else if (m_ch == ';') {
        Comment();
    } else {
        switch (CurrentAction()) {
        case ACTION_IGNORE: Ignore(); break;
        case ACTION_PROCESS: TagAssignment(); break;
        case ACTION_TEST: Test(); break;
        }
    }
}

void CConfigReader::RaiseErrorIfNotFinished() {
    if (!m_bVersionSeen) Expected(Text("TagSpec version number"));
    if (!m_actions.empty()) Expected(Text("END statement"));
}

// ---- Scanning -----------------------------------------------------------------------------

WCHAR CConfigReader::Scan(BSTR* name, BSTR* value) {
    m_strName.clear();
    m_strValue.clear();
    m_token = 0;
    do {
        if (m_ch == CHAR_END_OF_INPUT) {
            RaiseErrorIfNotFinished();
            return TOKEN_END_OF_FILE;
        }
        if (m_bVersionSeen) {
            BodyStatement();
        } else {
            TagSpecVersion();
        }
    } while (m_token == 0);

    CBstr bstrName(m_strName.c_str());
    CBstr bstrValue(m_strValue.c_str());
    if (bstrName.IsNull() || bstrValue.IsNull()) throw std::bad_alloc();
    if (name) *name = bstrName.Detach();
    if (value) *value = bstrValue.Detach();
    return static_cast<WCHAR>(m_token);
}

// ---- Size hint -------------------------------------------------------------------

// One pass over the loaded bytes up to the end-of-input character, the same
// end the scanner stops at.
ULONG CConfigReader::CountLineEnds() const {
    if (!m_pBuffer) return 0;
    ULONG count = 0;
    const BYTE* p = DataStart();
    if (m_bUnicode) {
        for (; !(p[0] == CHAR_END_OF_INPUT && p[1] == 0); p += 2) count += p[0] == CHAR_CR && p[1] == 0;
    } else {
        for (; *p != CHAR_END_OF_INPUT; ++p) count += *p == CHAR_CR;
    }
    return count;
}
