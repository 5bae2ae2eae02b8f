// CConfigReader: reads one configuration file from an open handle and hands it
// out one statement at a time. A recursive-descent parser over the whole file
// held in memory, with one character of look-ahead and no backtracking.
// Section statements are handled inside; syntax errors and refused sections
// leave Scan as one of the three nested exception classes.
#pragma once
#include "platform/Platform.h"
#include "platform/CharClass.h"
#include "reader/FileBuffer.h"

#include <deque>
#include <exception>
#include <memory>
#include <stack>
#include <string_view>

class CConfigReader {
public:
    enum DIRECTIVE { DIRECTIVE_CAN_IGNORE = 0, DIRECTIVE_MUST_UNDERSTAND = 1, DIRECTIVE_END = 2 };
    enum IDENTIFIER { IDENTIFIER_OTHER = 0, IDENTIFIER_END = 1, IDENTIFIER_TEST = 2 };
    enum SECTION_ACTION { ACTION_IGNORE = 0, ACTION_PROCESS = 1, ACTION_TEST = 2 };

    // What Scan returns: the kind of statement just read.
    static constexpr WCHAR TOKEN_VERSION = 'v';
    static constexpr WCHAR TOKEN_TAG_VALUE = 'p';
    static constexpr WCHAR TOKEN_TAG_EMPTY = 's';
    static constexpr WCHAR TOKEN_COMMENT = ';';
    static constexpr WCHAR TOKEN_TEST_LINE = 't';
    static constexpr WCHAR TOKEN_IGNORED_LINE = 'i';
    static constexpr WCHAR TOKEN_END_OF_FILE = '.';

    // A syntax error in the file.
    class parse_exception : public std::exception {
    public:
        parse_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message);
        parse_exception(const parse_exception& other);
        ~parse_exception() override;

        ULONG m_nLine;
        WString m_strLineText;
        WString m_strMessage;
    };

    // A section that only a newer application understands.
    class new_dovel_required_exception : public std::exception {
    public:
        new_dovel_required_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message);
        new_dovel_required_exception(const new_dovel_required_exception& other);
        ~new_dovel_required_exception() override;

        ULONG m_nLine;
        WString m_strLineText;
        WString m_strMessage;
    };

    // A directive in a place where it is not allowed.
    class unexpected_exception : public std::exception {
    public:
        unexpected_exception(ULONG nLine, const WCHAR* lineText, const WCHAR* message);
        unexpected_exception(const unexpected_exception& other);
        ~unexpected_exception() override;

        ULONG m_nLine;
        WString m_strLineText;
        WString m_strMessage;
    };

    explicit CConfigReader(HANDLE hFile);
    CConfigReader(const CConfigReader&) = delete;
    CConfigReader& operator=(const CConfigReader&) = delete;
    virtual ~CConfigReader();

    // Loads the whole file (from its start) and reads the first character.
    // S_OK, or the file system's failure; E_OUTOFMEMORY when it cannot be held.
    HRESULT Init();
    // Init for text already in memory, such as the whole stream of a pipe:
    // the bytes are taken as a file holding them would be.
    HRESULT InitFromText(const BYTE* text, std::size_t size);

    // Reads statements until one yields a token; stores its two strings as new
    // BSTRs (the caller frees them) and returns the token. At the end of input
    // returns TOKEN_END_OF_FILE and leaves both out-parameters untouched.
    WCHAR Scan(BSTR* name, BSTR* value);

    // The line ends of the whole loaded file, counted as lines are counted
    // (CR alone or CR LF is one, LF alone none); 0 before Init.
    ULONG CountLineEnds() const;

    // The line on which the statement of the last token Scan returned begins.
    ULONG TokenLine() const { return m_nTokenLine; }

    // Text behind the scan is given back to the system in steps of this many bytes.
    static constexpr std::size_t kGiveBackStep = std::size_t(1) << 20;

protected:
    // Tests hold the fast path for the usual tag assignment to the general
    // path by reading the same text both ways and comparing each step.
    enum PATHS { PATHS_ALL, PATHS_GENERAL_ONLY };
    CConfigReader(HANDLE hFile, PATHS paths);
    // Where the scan stands: the lines counted so far, and the offset of the
    // character after the current one in the loaded text.
    ULONG CurrentLine() const { return m_nLine; }
    std::size_t CurrentOffset() const;

private:
    void ResetScan();
    HRESULT Load(HANDLE hFile);
    bool AllocateText(std::size_t size);
    void TextLoaded(DWORD count, std::size_t size);
    void NextChar();
    void SkipWhite();
    void NewLine();
    [[noreturn]] void Expected(WString item);
    void Require(WCHAR c);
    WString GetName();
    void TakeDigits(WString& out);
    void TakeHexDigits(WString& out);
    static WCHAR EscapedChar(WCHAR c);
    void TakeEscapedChar(WString& out);
    WString GetLine();
    void TakeQuotedTagValue(WString& out);
    void TagSpecVersion();
    void TagAssignment();
    void Comment();
    void Test();
    void Ignore();
    IDENTIFIER LookupIdentifier(WString name);
    DIRECTIVE LookupDirective(WString name);
    SECTION_ACTION CurrentAction() const;
    void PushAction(IDENTIFIER identifier, DIRECTIVE directive);
    void PopAction();
    void EscapeStatement();
    void BodyStatement();
    void RaiseErrorIfNotFinished();

    // Scanning helpers.
    using TextView = std::basic_string_view<WCHAR>;
    bool TakePlainAssignment(TextView& name, TextView& value);
    static const WCHAR* SkipWhiteUnits(const WCHAR* p);
    const WCHAR* SkipLineEnds(const WCHAR* p);
    const WCHAR* SkipQuotedValue(const WCHAR* p, TextView& value);
    bool CollectPlainRun(WString& out, WCHAR stopA, WCHAR stopB);
    bool TakePlainIdentifier(WString& out);
    void AppendChars(WString& out, const BYTE* from, size_t count) const;

    // Loading helpers.
    void JudgeEncoding(DWORD count);
    void PlaceTerminator(DWORD count);
    WCHAR CharAt(const BYTE* p) const;
    const BYTE* DataStart() const;
    ULONG CountLineEndsFrom(const BYTE* p, const BYTE* stop) const;
    void GiveBackScannedText();

    // Where an error is reported (see the .cpp: line ends name the line they close).
    const BYTE* ClosedLineEnd() const;
    ULONG ErrorLine() const;
    WString ErrorLineText() const;

    HANDLE m_hFile;
    const PATHS m_paths;
    CFileBuffer::Ptr m_pBuffer;
    const BYTE* m_pKept;  // the text before it is given back
    ULONG m_nLineEndsGivenBack;
    std::size_t m_nGiveBackAt;  // the offset the scan passes before the next give-back
    const BYTE* m_pPos;
    BOOL m_bUnicode;
    WString m_strName;
    WString m_strValue;
    std::stack<SECTION_ACTION, std::deque<SECTION_ACTION>> m_actions;
    bool m_bVersionSeen;
    LONG m_token;
    WCHAR m_ch;
    ULONG m_nLine;
    ULONG m_nTokenLine;

    static constexpr WCHAR CHAR_END_OF_INPUT = 0x001A;
    static constexpr WCHAR CHAR_CR = 0x000D;
};

// Every scanning loop calls this once per character: kept in the header so
// that it is inlined into them.
inline void CConfigReader::NextChar() {
    if (m_ch == CHAR_END_OF_INPUT) return;
    m_ch = CharAt(m_pPos);
    m_pPos += m_bUnicode ? 2 : 1;
    if (m_ch == CHAR_CR) ++m_nLine;
}

inline WCHAR CConfigReader::CharAt(const BYTE* p) const {
    if (!m_bUnicode) return *p;
    return static_cast<WCHAR>(p[0] | (p[1] << 8));
}
