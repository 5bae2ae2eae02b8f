#include "reader/ConfigReader.h"

#include "platform/Bstr.h"
#include "platform/Win32Error.h"
#include "platform/CharClass.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr WCHAR CHAR_LF = 0x000A;
constexpr WCHAR CHAR_TAB = 0x0009;

// Wide-string literals written once, as WString has no portable literal form.
WString Text(const char* ascii) { return WString(ascii, ascii + std::strlen(ascii)); }

// At namespace scope: a guarded local static would leave the runtime's lock
// behind each time the DLL is unloaded.
const WString kKeywords[] = {Text("END"), Text("TEST"), Text("CAN_IGNORE"), Text("MUST_UNDERSTAND")};
const WString& Keyword(int which) { return kKeywords[which]; }
enum { KEYWORD_END, KEYWORD_TEST, KEYWORD_CAN_IGNORE, KEYWORD_MUST_UNDERSTAND };

// Bytes after the terminator, so that a run scan may read a whole block past it.
constexpr std::size_t kScanPadding = 16;

// The first UTF-16 unit from p on that is not printable ASCII (U+0020..U+007E)
// or is stopA or stopB. The end-of-input character always ends the run.
const BYTE* SkipPlainUnits(const BYTE* p, WCHAR stopA, WCHAR stopB) {
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi16(0x20);
    const __m128i span = _mm_set1_epi16(0x7E - 0x20);
    const __m128i a = _mm_set1_epi16(static_cast<short>(stopA));
    const __m128i b = _mm_set1_epi16(static_cast<short>(stopB));
    for (;; p += 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Saturating: zero exactly for the units in range.
        const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(units, first), span);
        const __m128i stop = _mm_or_si128(_mm_cmpeq_epi16(units, a), _mm_cmpeq_epi16(units, b));
        const __m128i plain = _mm_andnot_si128(stop, _mm_cmpeq_epi16(beyond, _mm_setzero_si128()));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(plain));
        if (mask != 0xFFFF) return p + __builtin_ctz(~mask);
    }
#else
    for (;; p += 2) {
        const unsigned c = p[0] | (p[1] << 8);
        if (c < 0x20 || c > 0x7E || c == stopA || c == stopB) return p;
    }
#endif
}

const BYTE* SkipPlainBytes(const BYTE* p, WCHAR stopA, WCHAR stopB) {
    while (*p >= 0x20 && *p <= 0x7E && *p != stopA && *p != stopB) ++p;
    return p;
}

// The usual identifier, four dot-separated groups of ASCII hex digits: its
// end, or null for anything else (including a non-ASCII character right after
// a group, which the character tests may count as a digit).
template <class Unit>
const Unit* SkipPlainIdentifier(const Unit* p) {
    const auto isHexDigit = [](WCHAR c) { return c < 0x80 && CCharClass::IsXDigit(c); };
    for (int group = 0; group < 4; ++group) {
        if (group > 0 && *p++ != '.') return nullptr;
        const Unit* const digits = p;
        while (isHexDigit(*p)) ++p;
        if (p == digits || *p >= 0x80) return nullptr;
    }
    return p;
}

}  // namespace

CConfigReader::CConfigReader(HANDLE hFile) : CConfigReader(hFile, PATHS_ALL) {}

CConfigReader::CConfigReader(HANDLE hFile, PATHS paths)
    : m_hFile(hFile), m_paths(paths), m_pKept(nullptr), m_nLineEndsGivenBack(0), m_nGiveBackAt(0), m_pPos(nullptr),
      m_bUnicode(FALSE), m_bVersionSeen(false), m_token(0), m_ch(0), m_nLine(1), m_nTokenLine(0) {}

CConfigReader::~CConfigReader() = default;

// ---- Loading --------------------------------------------------------------------

void CConfigReader::ResetScan() {
    m_bVersionSeen = false;
    m_nLine = 1;
    m_nTokenLine = 0;
    m_ch = 0;
    m_actions = {};
    m_pBuffer.reset();
    m_pPos = nullptr;
    m_bUnicode = FALSE;
}

HRESULT CConfigReader::Init() {
    ResetScan();
    const HRESULT hr = Load(m_hFile);
    if (FAILED(hr)) return hr;
    NextChar();
    return S_OK;
}

HRESULT CConfigReader::InitFromText(const BYTE* text, std::size_t size) {
    ResetScan();
    if (size > UINT_MAX - 2 || !AllocateText(size)) return E_OUTOFMEMORY;
    if (size > 0) std::memcpy(m_pBuffer.get(), text, size);
    TextLoaded(static_cast<DWORD>(size), size);
    NextChar();
    return S_OK;
}

HRESULT CConfigReader::Load(HANDLE hFile) {
    // A read after an earlier read or write of the same open file sees it whole.
    if (SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return HResultFromLastError();

    SetLastError(NO_ERROR);
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(hFile, &sizeHigh);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return HResultFromLastError();
    if (sizeHigh != 0 || size > UINT_MAX - 2) return E_OUTOFMEMORY;  // more than one buffer can hold
    if (!AllocateText(size)) return E_OUTOFMEMORY;

    DWORD count = 0;
    if (!ReadFile(hFile, m_pBuffer.get(), size, &count, nullptr)) {
        const HRESULT hr = HResultFromLastError();
        m_pBuffer.reset();
        m_pPos = nullptr;
        return hr;
    }
    TextLoaded(count, size);
    return S_OK;
}

// Room for size bytes, the end-of-input character and the scan's padding.
bool CConfigReader::AllocateText(std::size_t size) {
    m_pBuffer = CFileBuffer::Allocate(size + 2 + kScanPadding);
    if (!m_pBuffer) return false;
    m_pPos = m_pBuffer.get();
    return true;
}

// count bytes of the size allocated for have arrived.
void CConfigReader::TextLoaded(DWORD count, std::size_t size) {
    std::memset(m_pBuffer.get() + count, 0, size - count + 2 + kScanPadding);
    if (count > 0) JudgeEncoding(count);
    PlaceTerminator(count);
    m_pKept = DataStart();
    m_nLineEndsGivenBack = 0;
    m_nGiveBackAt = kGiveBackStep;
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
// printable ASCII (U+0020..U+007E) other than stopA and stopB, append it to
// `out` and move on. Such characters are never CR or the end of input, so the
// character after the run becomes current: the same state as one NextChar at
// a time, without its per-character cost. Returns false, changing nothing,
// when the current character does not qualify.
bool CConfigReader::CollectPlainRun(WString& out, WCHAR stopA, WCHAR stopB) {
    if (m_ch < 0x20 || m_ch > 0x7E || m_ch == stopA || m_ch == stopB) return false;
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const BYTE* const start = m_pPos - unit;
    const BYTE* const end = m_bUnicode ? SkipPlainUnits(m_pPos, stopA, stopB) : SkipPlainBytes(m_pPos, stopA, stopB);
    AppendChars(out, start, static_cast<size_t>(end - start) / unit);
    m_ch = CharAt(end - unit);
    m_pPos = end;
    NextChar();
    return true;
}

void CConfigReader::AppendChars(WString& out, const BYTE* from, size_t count) const {
    if (m_bUnicode) {
        // The data is UTF-16 little-endian, as are the 16-bit units of every target.
        out.append(reinterpret_cast<const WCHAR*>(from), count);
    } else {
        out.append(from, from + count);
    }
}

// The usual identifier in one step; anything else returns false with nothing
// changed, and the general path reads it with its errors.
bool CConfigReader::TakePlainIdentifier(WString& out) {
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const BYTE* const start = m_pPos - unit;
    const BYTE* const end =
        m_bUnicode ? reinterpret_cast<const BYTE*>(SkipPlainIdentifier(reinterpret_cast<const WCHAR*>(start)))
                   : SkipPlainIdentifier(start);
    if (!end) return false;
    AppendChars(out, start, static_cast<size_t>(end - start) / unit);
    m_ch = CharAt(end - unit);
    m_pPos = end;
    NextChar();
    return true;
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

// The printable characters of the line the error names, up to the current
// character (or to the line end that closes it), as they were read.
WString CConfigReader::ErrorLineText() const {
    if (!m_pPos) return WString();
    const BYTE* lineEnd = ClosedLineEnd();
    if (!lineEnd) lineEnd = m_pPos;
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

void CConfigReader::Require(WCHAR c) {
    if (m_ch != c) Expected(WString(1, c));
    NextChar();
}

WString CConfigReader::GetName() {
    if (!CCharClass::IsAlpha(m_ch) && !CCharClass::IsDigit(m_ch)) Expected(Text("Name character (A-Z, 0-9, _)"));
    WString name;
    while (CCharClass::IsAlpha(m_ch) || CCharClass::IsDigit(m_ch) || m_ch == '_') {
        name.push_back(m_ch);
        NextChar();
    }
    return name;
}

void CConfigReader::TakeDigits(WString& out) {
    if (!CCharClass::IsDigit(m_ch)) Expected(Text("Numeric digit"));
    while (CCharClass::IsDigit(m_ch)) {
        out.push_back(m_ch);
        NextChar();
    }
}

void CConfigReader::TakeHexDigits(WString& out) {
    if (!CCharClass::IsXDigit(m_ch)) Expected(Text("Hex digit"));
    while (CCharClass::IsXDigit(m_ch)) {
        out.push_back(m_ch);
        NextChar();
    }
}

// What a backslash and c stand for in a quoted value; 0 when they are no escape.
WCHAR CConfigReader::EscapedChar(WCHAR c) {
    switch (c) {
    case '\\': return '\\';
    case '"': return '"';
    case 'n':
    case 'N': return CHAR_LF;
    case 'r':
    case 'R': return CHAR_CR;
    case 't':
    case 'T': return CHAR_TAB;
    default: return 0;
    }
}

void CConfigReader::TakeEscapedChar(WString& out) {
    NextChar();
    const WCHAR mapped = EscapedChar(m_ch);
    if (!mapped) Expected(Text("Escaped character (BACKSLASH, N, T, R, QUOTE)"));
    NextChar();
    out.push_back(mapped);
}

// The rest of the line; the end of input also ends it, so a last line without
// a line end is taken as it stands. A null character ends the text (as the
// string handed out ends there), not the line.
WString CConfigReader::GetLine() {
    WString line;
    while (m_ch != CHAR_CR && m_ch != CHAR_END_OF_INPUT) {
        if (CollectPlainRun(line, 0x7F, 0x7F)) continue;
        line.push_back(m_ch);
        NextChar();
    }
    const size_t firstNull = line.find(WCHAR(0));
    if (firstNull != WString::npos) line.resize(firstNull);
    return line;
}

void CConfigReader::TakeQuotedTagValue(WString& out) {
    Require('"');
    while (m_ch != '"') {
        if (CCharClass::IsCntrl(m_ch)) Expected(Text("Closing quote"));
        if (m_ch == '\\') {
            TakeEscapedChar(out);
        } else if (!CollectPlainRun(out, '"', '\\')) {
            out.push_back(m_ch);
            NextChar();
        }
    }
    Require('"');
}

// ---- Statements ---------------------------------------------------------------------------

void CConfigReader::TagSpecVersion() {
    NewLine();
    m_nTokenLine = m_nLine;
    WString text;
    TakeDigits(text);
    Require('.');
    text.push_back('.');
    TakeDigits(text);
    if (m_ch == '.') {
        Require('.');
        text.push_back('.');
        TakeDigits(text);
    }
    NewLine();
    m_bVersionSeen = true;
    m_strName = std::move(text);
    m_token = TOKEN_VERSION;
}

void CConfigReader::TagAssignment() {
    NewLine();
    // Scan starts every statement with both strings empty: append in place.
    if (!TakePlainIdentifier(m_strName)) {
        TakeHexDigits(m_strName);
        for (int group = 1; group < 4; ++group) {
            Require('.');
            m_strName.push_back('.');
            TakeHexDigits(m_strName);
        }
    }
    SkipWhite();
    Require('=');
    SkipWhite();
    if (m_ch == CHAR_CR) {
        m_token = TOKEN_TAG_EMPTY;
    } else {
        TakeQuotedTagValue(m_strValue);
        m_token = TOKEN_TAG_VALUE;
    }
    NewLine();
}

// The usual tag assignment, a plain identifier and then either nothing or a
// quoted value on one line of UTF-16 text, read straight from the loaded text
// with the same strings, token, position and line count as BodyStatement
// gives it. A value without escapes is handed out from where it lies; one with
// them is collected in m_strValue. Anything else returns false with nothing
// changed but that string, and the general path reads it with its errors.
bool CConfigReader::TakePlainAssignment(TextView& name, TextView& value) {
    if (m_paths != PATHS_ALL || !m_bUnicode || !m_bVersionSeen || CurrentAction() != ACTION_PROCESS) return false;
    const WCHAR* const start = reinterpret_cast<const WCHAR*>(m_pPos) - 1;
    const WCHAR* const nameEnd = SkipPlainIdentifier(start);
    if (!nameEnd) return false;
    const WCHAR* p = SkipWhiteUnits(nameEnd);
    if (*p != '=') return false;
    p = SkipWhiteUnits(p + 1);
    if (*p == CHAR_CR) {
        value = m_strValue;
        m_token = TOKEN_TAG_EMPTY;
    } else {
        if (*p != '"') return false;
        const WCHAR* const close = SkipQuotedValue(p + 1, value);
        if (!close) {
            m_strValue.clear();
            return false;
        }
        p = close + 1;
        m_token = TOKEN_TAG_VALUE;
    }
    name = TextView(start, static_cast<size_t>(nameEnd - start));
    p = SkipLineEnds(p);
    m_ch = *p;
    m_pPos = reinterpret_cast<const BYTE*>(p + 1);
    return true;
}

// NewLine over the text from p on. It passes every CR there is between p and
// where it stops, and each is a line end counted.
const WCHAR* CConfigReader::SkipLineEnds(const WCHAR* p) {
    while (*p == CHAR_CR) {
        ++m_nLine;
        if (*++p == CHAR_LF) ++p;
        p = SkipWhiteUnits(p);
    }
    return p;
}

// SkipWhite over the text from p on: the first unit that is a CR or no space.
const WCHAR* CConfigReader::SkipWhiteUnits(const WCHAR* p) {
    while (*p != CHAR_CR && CCharClass::IsSpace(*p)) ++p;
    return p;
}

// A quoted value from just after its opening quote: its closing quote, with
// `value` set, or null where the general path would see an error or collect
// a character this does not take.
const WCHAR* CConfigReader::SkipQuotedValue(const WCHAR* p, TextView& value) {
    const WCHAR* const first = p;
    const WCHAR* verbatim = p;  // where the text not yet collected starts
    for (;;) {
        p = reinterpret_cast<const WCHAR*>(SkipPlainUnits(reinterpret_cast<const BYTE*>(p), '"', '\\'));
        if (*p == '"') break;
        if (*p == '\\') {
            const WCHAR mapped = EscapedChar(p[1]);
            if (!mapped) return nullptr;
            m_strValue.append(verbatim, static_cast<size_t>(p - verbatim)).push_back(mapped);
            p += 2;
            verbatim = p;
        } else if (CCharClass::IsCntrl(*p)) {
            return nullptr;
        } else {
            ++p;
        }
    }
    if (verbatim == first) {
        value = TextView(first, static_cast<size_t>(p - first));
    } else {
        m_strValue.append(verbatim, static_cast<size_t>(p - verbatim));
        value = m_strValue;
    }
    return p;
}

void CConfigReader::Comment() {
    NewLine();
    Require(';');
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
    Require('!');
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
    m_nTokenLine = m_nLine;
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
    GiveBackScannedText();
    m_strName.clear();
    m_strValue.clear();
    m_token = 0;
    TextView nameText, valueText;
    m_nTokenLine = m_nLine;
    if (!TakePlainAssignment(nameText, valueText)) {
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
        nameText = m_strName;
        valueText = m_strValue;
    }

    // Neither string holds a null character: each is handed out whole.
    CBstr bstrName(nameText.data(), static_cast<UINT>(nameText.size()));
    CBstr bstrValue(valueText.data(), static_cast<UINT>(valueText.size()));
    if (bstrName.IsNull() || bstrValue.IsNull()) throw std::bad_alloc();
    if (name) *name = bstrName.Detach();
    if (value) *value = bstrValue.Detach();
    return static_cast<WCHAR>(m_token);
}

std::size_t CConfigReader::CurrentOffset() const {
    return m_pPos ? static_cast<std::size_t>(m_pPos - m_pBuffer.get()) : 0;
}

// ---- Size hint -------------------------------------------------------------------

// Those given back were counted before they went; the rest in one pass up to
// the end-of-input character, the same end the scanner stops at.
ULONG CConfigReader::CountLineEnds() const {
    if (!m_pBuffer) return 0;
    return m_nLineEndsGivenBack + CountLineEndsFrom(m_pKept, nullptr);
}

ULONG CConfigReader::CountLineEndsFrom(const BYTE* p, const BYTE* stop) const {
    ULONG count = 0;
#if defined(__SSE2__)
    // A block at a time: the padding after the end-of-input character lets
    // the last one read past it. Each CR adds 1 to a byte that the sums of
    // absolute differences add up.
    const bool wide = m_bUnicode != FALSE;
    const __m128i cr = wide ? _mm_set1_epi16(CHAR_CR) : _mm_set1_epi8(CHAR_CR);
    const __m128i end = wide ? _mm_set1_epi16(CHAR_END_OF_INPUT) : _mm_set1_epi8(CHAR_END_OF_INPUT);
    const __m128i one = wide ? _mm_set1_epi16(1) : _mm_set1_epi8(1);
    __m128i sums = _mm_setzero_si128();
    const auto total = [&sums] {
        return static_cast<ULONG>(_mm_cvtsi128_si32(sums)) +
               static_cast<ULONG>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    };
    for (; !stop || stop - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i crs = wide ? _mm_cmpeq_epi16(block, cr) : _mm_cmpeq_epi8(block, cr);
        const __m128i ends = wide ? _mm_cmpeq_epi16(block, end) : _mm_cmpeq_epi8(block, end);
        const unsigned endMask = static_cast<unsigned>(_mm_movemask_epi8(ends));
        if (endMask) {
            // Only those before the first end-of-input character.
            unsigned crBytes = static_cast<unsigned>(_mm_movemask_epi8(crs)) & ((endMask & (0u - endMask)) - 1);
            for (; crBytes; crBytes &= crBytes - 1) ++count;
            return count / (wide ? 2 : 1) + total();
        }
        sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(crs, one), _mm_setzero_si128()));
    }
    count = total();
#endif
    if (m_bUnicode) {
        for (; p != stop && !(p[0] == CHAR_END_OF_INPUT && p[1] == 0); p += 2)
            count += p[0] == CHAR_CR && p[1] == 0;
    } else {
        for (; p != stop && *p != CHAR_END_OF_INPUT; ++p) count += *p == CHAR_CR;
    }
    return count;
}

// An error names at most the line that the last line end closed, and no text
// before it is read again: what lies before the line end ahead of that line
// goes back to the system, once a step further on each time, so that a large
// file is not held whole beside what is made of it. The line end is looked
// for at most two steps back: lines longer than that keep the text.
void CConfigReader::GiveBackScannedText() {
    if (!CFileBuffer::kGivesBack || !m_pPos || static_cast<std::size_t>(m_pPos - m_pBuffer.get()) < m_nGiveBackAt)
        return;
    m_nGiveBackAt = static_cast<std::size_t>(m_pPos - m_pBuffer.get()) + kGiveBackStep;
    const std::ptrdiff_t unit = m_bUnicode ? 2 : 1;
    const std::ptrdiff_t reach = static_cast<std::ptrdiff_t>(2 * kGiveBackStep);
    const BYTE* const floor = m_pPos - m_pKept > reach ? m_pPos - reach : m_pKept;
    const BYTE* keep = m_pPos - unit;
    int lineEnds = 0;
    while (lineEnds < 2 && keep - unit >= floor) {
        keep -= unit;
        lineEnds += CharAt(keep) == CHAR_CR;
    }
    if (lineEnds < 2) return;
    m_nLineEndsGivenBack += CountLineEndsFrom(m_pKept, keep);
    CFileBuffer::GiveBack(m_pKept, keep);
    m_pKept = keep;
}
