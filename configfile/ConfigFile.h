// The ConfigFile object: one configuration file opened by path, read into or
// written from a tag collection, and closed. Every failure it reports is
// logged, described by error information and returned as an HRESULT.
#pragma once
#include "Quorvex3.h"
#include "TagServer.h"
#include "configfile/FailureTable.h"
#include "configfile/FileLock.h"
#include "contracts/Log.h"
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "reader/ConfigReader.h"
#include "server/CoClass.h"
#include "server/ConnectionPointContainer.h"
#include "server/DispatchImpl.h"
#include "server/EventProxy.h"
#include "server/ObjectRoot.h"

class CTagValueBuffer;

// Source name of every log line this object writes.
extern const wchar_t* const MODULE;

class ConfigFile : public IDispatchImpl<IConfigFile, &IID_IConfigFile, &LIBID_Quorvex3>,
                   public ISupportErrorInfo,
                   public CComObjectRootEx<CComSingleThreadModel>,
                   public CComCoClass<ConfigFile, &CLSID_ConfigFile>,
                   public IConnectionPointContainerImpl<ConfigFile>,
                   public CProxy_IConfigFileEvents<ConfigFile> {
public:
    ConfigFile();
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;
    ~ConfigFile();

    static HRESULT WINAPI UpdateRegistry(BOOL bRegister);

    BEGIN_COM_MAP(ConfigFile)
        COM_INTERFACE_ENTRY2(IDispatch, IConfigFile)
        COM_INTERFACE_ENTRY(IConfigFile)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(ConfigFile)
        CONNECTION_POINT_ENTRY(DIID__IConfigFileEvents)
    END_CONNECTION_POINT_MAP()

    HRESULT FinalConstruct();
    void FinalRelease();

    // ISupportErrorInfo
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) override;

    // IConfigFile
    STDMETHOD(Open)(BSTR FilePath, long ReadOnly) override;
    STDMETHOD(Read)(IDispatch* TagServer, IDispatch** TagCollection) override;
    STDMETHOD(Write)(IDispatch* TagCollection) override;
    STDMETHOD(Close)() override;
    STDMETHOD(get_Path)(BSTR* pVal) override;
    STDMETHOD(get_IsOpen)(VARIANT_BOOL* pVal) override;

private:
    friend class ConfigFileTestAccess;

    bool IsOpen() const { return m_hFile.Get() != INVALID_HANDLE_VALUE; }
    HANDLE OpenConfigFile();
    // Closes the file and forgets its path and lock.
    void LetGo();
    WString GetModuleVersion() const;
    HRESULT GetConfigDataVersion(ITags* pTags, BSTR* pbstrVersion);
    // The path for a log line: "" while there is none.
    const wchar_t* PathText() const { return m_bstrPath.IsNull() ? L"" : m_bstrPath.Get(); }

    // Reports a failure by its row of the error table: the log line (args
    // fill its conversions), the error information and the HRESULT to return.
    // Never throws: without memory for the texts the HRESULT is all there is.
    template <class... Args>
    HRESULT Fail(const CFailureRow& row, HRESULT hr, Args... args) noexcept {
        return FailOnLine(row, hr, 0, args...);
    }
    // The same for a failure the reader met on a line of the file.
    template <class ReaderException>
    HRESULT FailAt(const CFailureRow& row, HRESULT hr, const ReaderException& e) noexcept {
        return FailOnLine(row, hr, e.m_nLine, static_cast<unsigned>(e.m_nLine), e.m_strLineText.c_str(),
                          e.m_strMessage.c_str());
    }
    template <class... Args>
    HRESULT FailOnLine(const CFailureRow& row, HRESULT hr, ULONG line, Args... args) noexcept {
        try {
            if (!row.logLine)
                LogSystemMessage(hr);
            else if (row.logsHResult)
                m_pLog->LogError(row.logLine, MODULE, args..., utility::genHResultAsString(hr).c_str());
            else
                m_pLog->LogError(row.logLine, MODULE, args...);
            return DescribeFailure(row, hr, line);
        } catch (...) {
            return row.result ? row.result : hr;
        }
    }
    HRESULT DescribeFailure(const CFailureRow& row, HRESULT hr, ULONG line);
    void LogSystemMessage(HRESULT hr);

    // Read: the file's pairs are gathered in a buffer and handed to the tag
    // server in one bulk load, then to the client's collection in one update.
    HRESULT ReadInto(IDispatch* pServerObject, IDispatch* pClientObject);
    HRESULT ScanIntoBuffer(CConfigReader& reader, CTagValueBuffer& buffer, ITags* pClientTags, bool& bCancelled);
    HRESULT CheckVersion(const CBstr& fileVersionToken, ITags* pClientTags, bool& bCancelled);
    HRESULT BulkLoadFromBuf(ITags* tags, CTagValueBuffer* buffer);

    // Write: the whole text goes to a hidden temporary file first, which
    // replaces the configuration file only when it is complete.
    WString GetTempPathW() const;
    HRESULT CreateTempFile();
    HRESULT WriteConfigFile(ITags* pTags);
    HRESULT WriteCollectionText(ITags* pTags);
    HRESULT WriteConfigBufferToFile(const WString& strBuffer);
    HRESULT ReplaceConfigFile();
    bool HoldFormerFile(ULONGLONG deadline);
    HRESULT LoseFile();

    // One tag's identifier and value into m_bstrTagID and m_strTagValue, and
    // from there into its line of the file.
    HRESULT GetTagData(IDispatch* pTagObject);
    HRESULT TagValueToTextFileFormat(WString& strValue);
    HRESULT PutCharHexValueToString(WCHAR ch, WString* pstrOut);
    HRESULT AssembleLine(WString& strLine);
    const wchar_t* TagIdText() const { return m_bstrTagID.IsNull() ? L"" : m_bstrTagID.Get(); }

    CBstr m_bstrPath;
    WString m_strTagValue;
    CFileHandle m_hFile;
    CFileHandle m_hTempFile;
    CFileLock m_fileLock;     // shared with ConfigFile objects of every process on the same file
    bool m_bWritable = false;  // opened read-write: m_hFile may hold the file for reading only after a failed write
    CBstr m_bstrTagID;
    utilities::CLog* m_pLog = nullptr;
};
