' A ConfigFile object driven by late binding from VBScript.
' usage: cscript //nologo ConfigFile.vbs <scratch folder>
Option Explicit

Const PROG_ID = "Brenlow.Zandel.Quorvex3.ConfigFile"
Const SOURCE = "Brenlow.Zandel.Quorvex3.ConfigFile.1"
Dim failures: failures = 0

Sub Check(name, actual, expected)
    If actual <> expected Then
        WScript.Echo "MISMATCH " & name & ": got [" & actual & "], expected [" & expected & "]"
        failures = failures + 1
    End If
End Sub

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim folder: folder = WScript.Arguments(0)
If Not fso.FolderExists(folder) Then fso.CreateFolder folder
Dim path: path = folder & "\vbscript.cfg"
Dim missing: missing = folder & "\vbscript-missing.cfg"
If fso.FileExists(path) Then fso.DeleteFile path
If fso.FileExists(missing) Then fso.DeleteFile missing

Dim config: Set config = CreateObject(PROG_ID)
Check "IsOpen of a new object", config.IsOpen, False
Check "Path of a new object", config.Path, ""

config.Open path, 0
Check "IsOpen after a read-write Open", config.IsOpen, True
Check "Path after Open", config.Path, path
Check "read-write Open creates the file", fso.FileExists(path), True
config.Close
Check "IsOpen after Close", config.IsOpen, False
Check "Path after Close", config.Path, ""

On Error Resume Next
config.Open missing, 1
Check "Err.Number of a read-only Open of a missing file", Hex(Err.Number), "80070002"
Check "Err.Description starts with the HRESULT", InStr(Err.Description, "0x80070002"), 1
Check "Err.Source of Open", Err.Source, SOURCE
Err.Clear
Check "IsOpen after the failed Open", config.IsOpen, False
Check "Path after the failed Open", config.Path, ""

config.Read Nothing, Nothing
Check "Err.Number of Read when closed", Hex(Err.Number), "80040401"
Check "Err.Description of Read", Err.Description, "Cannot read/write file because it has not been opened."
Check "Err.Source of Read", Err.Source, SOURCE
Err.Clear
On Error GoTo 0

Set config = Nothing
fso.DeleteFile path
If failures > 0 Then WScript.Quit 1
WScript.Echo "all checks passed"
