' A VBScript client fills a collection of the reference tag server, writes it
' with ConfigFile, reads the file back into a new collection and compares
' every tag, late bound through the ProgIDs. Prints every mismatch; the last
' line says whether all checks passed.
Option Explicit

Dim failures : failures = 0

Sub Check(name, actual, expected)
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then
        WScript.Echo "FAIL " & name & ": got [" & actual & "] (" & TypeName(actual) & _
                     "), expected [" & expected & "] (" & TypeName(expected) & ")"
        failures = failures + 1
    End If
End Sub

' Wine's VBScript has no ChrW: non-ASCII characters come from Chr in the ANSI
' code page (U+00E9, U+20AC, U+00FF), and surrogate pairs are left to the C++
' round trip.
' Identifiers, the values the collection gets, and the text each must come
' back as: a value's string form without conversion flags, so booleans come
' back as -1 and 0; Empty stays Empty.
Dim ids, values, texts
ids = Array("0001.0002.0003.0004", "a.B.c0.FFFF", "0001.0002.0003.0006", "0001.0002.0003.0007", _
            "10.20.30.40", "10.20.30.41", "10.20.30.42", "10.20.30.43", "10.20.30.44", _
            "10.20.30.45", "10.20.30.46", "10.20.30.47", "000000ab.0.0.1")
values = Array("plain", _
               "tab" & vbTab & "cr" & vbCr & "lf" & vbLf & "crlf" & vbCrLf & "end", _
               "say ""hi"" \ c:\path\\share", _
               Chr(233) & Chr(128) & Chr(255), _
               Empty, "", CLng(-123456), 3.5, 1.25E-20, True, False, _
               DateSerial(2024, 6, 11) + TimeSerial(10, 30, 15), CCur(1234.5678))
texts = Array(values(0), values(1), values(2), values(3), Empty, "", CStr(values(6)), CStr(values(7)), _
              CStr(values(8)), "-1", "0", CStr(values(11)), CStr(values(12)))

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim path : path = fso.BuildPath(fso.GetSpecialFolder(2), fso.GetTempName())

Dim server : Set server = CreateObject("Quorvex3.TagServer")
server.Database.TagSpecVersion = "2.0.1"
Dim tags : Set tags = server.CreateTags()
Dim i
For i = 0 To UBound(ids)
    tags.Add ids(i), values(i)
Next

Dim file : Set file = CreateObject("Brenlow.Zandel.Quorvex3.ConfigFile")
file.Open path, 0
On Error Resume Next
file.Write tags
Check "Write succeeds (" & Err.Description & ")", Hex(Err.Number), "0"
On Error GoTo 0
file.Close

' The collection goes in parentheses, by value: Read takes it in and out, and
' Wine's type-library Invoke cannot pass a script variable by reference there.
Dim loaded : Set loaded = server.CreateTags()
file.Open path, 1
On Error Resume Next
file.Read server, (loaded)
Check "Read succeeds (" & Err.Description & ")", Hex(Err.Number), "0"
On Error GoTo 0
file.Close

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

fso.DeleteFile path

If failures = 0 Then
    WScript.Echo "all round trip checks passed"
Else
    WScript.Echo failures & " round trip checks failed"
End If
