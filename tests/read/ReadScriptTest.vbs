' A VBScript client reads a configuration file that it wrote itself into a
' collection of the reference tag server, late bound through the ProgIDs.
' Prints every mismatch; the last line says whether all checks passed.
Option Explicit

Dim failures : failures = 0

Sub Check(name, actual, expected)
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then
        WScript.Echo "FAIL " & name & ": got [" & actual & "] (" & TypeName(actual) & _
                     "), expected [" & expected & "] (" & TypeName(expected) & ")"
        failures = failures + 1
    End If
End Sub

Function Quoted(text)
    Quoted = """" & text & """"
End Function

' UTF-16 little-endian with the byte-order mark: a Unicode text stream. (Wine's
' text stream refuses to write characters beyond ASCII, so the values keep to it.)
Function WriteConfigFile(fso, lines)
    Dim path, stream, line
    path = fso.BuildPath(fso.GetSpecialFolder(2), fso.GetTempName())
    Set stream = fso.CreateTextFile(path, True, True)
    For Each line In lines
        stream.Write line & vbCrLf
    Next
    stream.Close
    WriteConfigFile = path
End Function

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim path : path = WriteConfigFile(fso, Array( _
    "1.2.3", _
    "; written by a script", _
    "0001.0002.0003.0004 = " & Quoted("plain"), _
    "0001.0002.0003.0005 = " & Quoted("tab\tquote\""back\\slash"), _
    "0001.0002.0003.0006 =", _
    "0001.0002.0003.0007 = " & Quoted(""), _
    "!LATER CAN_IGNORE", _
    "0009.0009.0009.0009 = " & Quoted("skipped"), _
    "!END", _
    "00AB.00CD.00EF.0100 = " & Quoted("last")))

Dim server : Set server = CreateObject("Quorvex3.TagServer")
server.Database.TagSpecVersion = "1.2.3"
Dim tags : Set tags = server.CreateTags()
tags.Add "FFFF.FFFF.FFFF.FFFF", "stale"

Dim file : Set file = CreateObject("Brenlow.Zandel.Quorvex3.ConfigFile")
file.Open path, 1
Check "file is open", file.IsOpen, True

' The collection goes in parentheses, by value: a plain variable goes by
' reference (VT_BYREF|VT_VARIANT), which Wine's type-library Invoke cannot
' turn into the IDispatch** that Read takes (Type mismatch; ReadDispatchTest
' shows it). By value, Invoke passes Read a reference to its own copy.
On Error Resume Next
file.Read server, (tags)
Dim readError : readError = Err.Number
Dim readDescription : readDescription = Err.Description
On Error GoTo 0
Check "Read succeeds (" & readDescription & ")", Hex(readError), "0"

Check "the collection holds the file's tags", tags.Count, CLng(5)
Check "tag 0 ID", tags(0).ID, "0001.0002.0003.0004"
Check "tag 0 value", tags(0).Value, "plain"
Check "escapes decoded", tags("0001.0002.0003.0005").Value, "tab" & vbTab & "quote""back\slash"
Check "an empty assignment has no value", IsEmpty(tags("0001.0002.0003.0006").Value), True
Check "a quoted empty value is a string", TypeName(tags("0001.0002.0003.0007").Value), "String"
Check "a quoted empty value is empty", tags("0001.0002.0003.0007").Value, ""
Check "the last tag", tags(4).Value, "last"
Check "the last tag's ID", tags(4).ID, "00AB.00CD.00EF.0100"

' A failed read reports through the error object and leaves the tags alone.
file.Close
On Error Resume Next
file.Read server, (tags)
Check "closed file: number", Hex(Err.Number), "80040401"
Check "closed file: source", Err.Source, "Brenlow.Zandel.Quorvex3.ConfigFile.1"
Check "closed file: description", Err.Description, "Cannot read/write file because it has not been opened."
On Error GoTo 0
Check "tags untouched by the failure", tags.Count, CLng(5)

fso.DeleteFile path
path = WriteConfigFile(fso, Array("1.0", "0001.0002.0003.0004 = " & Quoted("ok"), "0001.0002.0003.0005 = oops"))
file.Open path, 1
On Error Resume Next
file.Read server, (tags)
Check "syntax error: number", Hex(Err.Number), "80004005"
Check "syntax error: description", Err.Description, "Invalid file format detected on line 3."
On Error GoTo 0
Check "tags untouched by the syntax error", tags.Count, CLng(5)
file.Close
fso.DeleteFile path

If failures = 0 Then
    WScript.Echo "all read checks passed"
Else
    WScript.Echo failures & " read checks failed"
End If
