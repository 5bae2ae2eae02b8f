' A late-bound VBScript client of ConfigFile and the reference tag server:
' open and close, failures as Err sees them, and a Write then Read of every
' kind of value a script can hold.
' usage: cscript //nologo ConfigFile.vbs <scratch folder>
Option Explicit

Const SOURCE = "Brenlow.Zandel.Quorvex3.ConfigFile.1"
Dim failures: failures = 0

Sub Check(name, actual, expected)
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then
        WScript.Echo "MISMATCH " & name & ": got [" & actual & "] (" & TypeName(actual) & "), expected [" & _
                     expected & "] (" & TypeName(expected) & ")"
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

Dim config: Set config = CreateObject("Brenlow.Zandel.Quorvex3.ConfigFile")
Check "IsOpen and Path of a new object", config.IsOpen & "|" & config.Path, "False|"
On Error Resume Next
config.Open missing, 1
Check "Err.Number of a read-only Open of a missing file", Hex(Err.Number), "80070002"
Check "Err.Description starts with the HRESULT", InStr(Err.Description, "0x80070002"), CLng(1)
Check "Err.Source of Open", Err.Source, SOURCE
Err.Clear
Check "IsOpen and Path after the failed Open", config.IsOpen & "|" & config.Path, "False|"
config.Read Nothing, Nothing
Check "Err.Number of Read when closed", Hex(Err.Number), "80040401"
Check "Err.Description of Read", Err.Description, "Cannot read/write file because it has not been opened."
Check "Err.Source of Read", Err.Source, SOURCE
Err.Clear
On Error GoTo 0

' Values of every script type; the file holds them as their text.
Dim ids, values, texts, i
ids = Array("0001.0002.0003.0004", "a.B.c0.FFFF", "10.20.30.40", "10.20.30.41", "10.20.30.42", _
            "10.20.30.43", "10.20.30.44", "10.20.30.45", "10.20.30.46", "10.20.30.47", "000000ab.0.0.1")
values = Array("plain", Chr(233) & Chr(128) & Chr(255), Empty, "", CLng(-123456), 3.5, 1.25E-20, True, False, _
               DateSerial(2024, 6, 11) + TimeSerial(10, 30, 15), CCur(1234.5678))
texts = Array(values(0), values(1), Empty, "", CStr(values(4)), CStr(values(5)), CStr(values(6)), "-1", "0", _
              CStr(values(9)), CStr(values(10)))

Dim server: Set server = CreateObject("Quorvex3.TagServer")
server.Database.TagSpecVersion = "2.0.1"
Dim tags: Set tags = server.CreateTags()
For i = 0 To UBound(ids)
    tags.Add ids(i), values(i)
Next
config.Open path, 0
Check "IsOpen and Path after a read-write Open", config.IsOpen & "|" & config.Path, "True|" & path
config.Write tags
config.Close
Check "IsOpen and Path after Close", config.IsOpen & "|" & config.Path, "False|"

' By value: Wine cannot pass a script variable as the in/out collection.
Dim loaded: Set loaded = server.CreateTags()
config.Open path, 1
config.Read server, (loaded)
config.Close
Check "every tag came back", loaded.Count, CLng(UBound(ids) + 1)
For i = 0 To UBound(ids)
    If i < loaded.Count Then
        Check "tag " & i & " ID, in order", loaded(i).ID, ids(i)
        If IsEmpty(texts(i)) Then
            Check "tag " & ids(i) & " has no value", IsEmpty(loaded(i).Value), True
        Else
            Check "tag " & ids(i) & " value", loaded(i).Value, texts(i)
        End If
    End If
Next

Set config = Nothing
fso.DeleteFile path
If failures > 0 Then WScript.Quit 1
WScript.Echo "all checks passed"
