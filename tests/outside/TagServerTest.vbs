' Late-bound use of the reference tag server, as a VBScript client sees it.
' Prints every mismatch and ends with exit code 1 when there was any.
Option Explicit

Dim failures : failures = 0

Sub Check(name, actual, expected)
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then
        WScript.Echo "FAIL " & name & ": got [" & actual & "] (" & TypeName(actual) & _
                     "), expected [" & expected & "] (" & TypeName(expected) & ")"
        failures = failures + 1
    End If
End Sub

Function Listing(collection)
    Dim tag, text
    text = ""
    For Each tag In collection
        text = text & tag.ID & "=" & tag.Value & ";"
    Next
    Listing = text
End Function

Dim server, tags
Set server = CreateObject("Quorvex3.TagServer")
Set tags = server.CreateTags()
Check "a new collection is empty", tags.Count, CLng(0)
Check "enumerating an empty collection", Listing(tags), ""

tags.Add "0001.0002.0003.0004", "first"
tags.Add "0001.0002.0003.0005", "second"
tags.Add "000A.0000.0000.0001", Empty
tags.Add "0001.0002.0003.0004", "replaced"
Check "an existing ID is replaced, not added", tags.Count, CLng(3)
Check "For Each in insertion order", Listing(tags), _
      "0001.0002.0003.0004=replaced;0001.0002.0003.0005=second;000A.0000.0000.0001=;"
Check "default member by index", tags(1).Value, "second"
Check "Item by ID", tags.Item("000A.0000.0000.0001").ID, "000A.0000.0000.0001"
Check "a tag without a value is Empty", IsEmpty(tags(2).Value), True

Dim value : value = "from a variable"
tags(0).Value = value
Check "a value put by reference is kept", tags("0001.0002.0003.0004").Value, "from a variable"
value = "changed later"
Check "the tag holds a copy", tags(0).Value, "from a variable"
tags(1).Value = 42
Check "any VARIANT as value", tags(1).Value, 42

Dim other
Set other = server.CreateTags()
other.Add "00FF.0000.0000.0000", "x"
other.Add "00FF.0000.0000.0001", "y"
tags.BeginUpdate
tags.Update other
tags.EndUpdate
Check "Update takes the source's tags", Listing(tags), "00FF.0000.0000.0000=x;00FF.0000.0000.0001=y;"
other(0).Value = "changed in the source"
other.Add "00FF.0000.0000.0002", "z"
Check "Update copies the tags", Listing(tags), "00FF.0000.0000.0000=x;00FF.0000.0000.0001=y;"

tags.Remove "00FF.0000.0000.0000"
Check "Remove by ID", Listing(tags), "00FF.0000.0000.0001=y;"
other.Remove 1
Check "Remove by index", Listing(other), "00FF.0000.0000.0000=changed in the source;00FF.0000.0000.0002=z;"
other.Clear
Check "Clear", other.Count, CLng(0)

Check "default TagSpec version", server.Database.TagSpecVersion, "1.0.0"
server.Database.TagSpecVersion = "1.4.2"
Check "collections share the server's database", tags.Database.TagSpecVersion, "1.4.2"
Check "a second collection too", other.Database.TagSpecVersion, "1.4.2"
Dim secondServer
Set secondServer = CreateObject("Quorvex3.TagServer")
Check "each server has its own database", secondServer.Database.TagSpecVersion, "1.0.0"

Dim missing
On Error Resume Next
Set missing = tags("0000.0000.0000.0009")
Check "unknown ID fails with E_INVALIDARG", Hex(Err.Number), "80070057"
Check "error source", Err.Source, "Quorvex3.TagServer"
Check "error description names the tag", InStr(Err.Description, "0000.0000.0000.0009") > 0, True
Err.Clear
Set missing = tags(7)
Check "index out of range fails", Hex(Err.Number), "80070057"
Err.Clear
tags.Add "", "no identifier"
Check "an empty ID is refused", Hex(Err.Number), "80070057"
Err.Clear
On Error GoTo 0
Check "failed calls change nothing", tags.Count, CLng(1)

If failures > 0 Then
    WScript.Echo failures & " check(s) failed"
    WScript.Quit 1
End If
WScript.Echo "all tag server checks passed"
