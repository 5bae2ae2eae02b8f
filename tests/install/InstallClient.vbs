' A client of the installed component: a collection made by the tag server,
' written with a ConfigFile created by ProgID and read back into a new one.
' Prints "client ok: N tags read back" or "client failed at STEP: 0xHRESULT".
' usage: cscript //nologo InstallClient.vbs <configuration file>
Option Explicit

Sub Fail(stepName)
    WScript.Echo "client failed at " & stepName & ": 0x" & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End Sub

Dim path: path = WScript.Arguments(0)
Dim ids: ids = Array("1.0.2A.FF", "1.0.2A.01", "7.7.7.7")
Dim values: values = Array("pump 1", "valve " & Chr(233), "")
Dim server, tags, file, loaded, i
On Error Resume Next
Set server = CreateObject("Quorvex3.TagServer")
If Err.Number <> 0 Then Fail "tag server"
Set tags = server.CreateTags()
For i = 0 To UBound(ids)
    tags.Add ids(i), values(i)
Next
Set file = CreateObject("Brenlow.Zandel.Quorvex3.ConfigFile")
If Err.Number <> 0 Then Fail "CreateObject ConfigFile"
file.Open path, 0
If Err.Number <> 0 Then Fail "Open"
file.Write tags
If Err.Number <> 0 Then Fail "Write"
Set loaded = server.CreateTags()
file.Read server, (loaded)
If Err.Number <> 0 Then Fail "Read"
file.Close
If loaded.Count <> UBound(ids) + 1 Then
    WScript.Echo "client failed: " & loaded.Count & " tags read back, " & (UBound(ids) + 1) & " written"
    WScript.Quit 1
End If
For i = 0 To UBound(ids)
    If loaded(i).ID <> ids(i) Or loaded(i).Value <> values(i) Then
        WScript.Echo "client failed: tag " & i & " read back as " & loaded(i).ID & " = [" & loaded(i).Value & "]"
        WScript.Quit 1
    End If
Next
WScript.Echo "client ok: " & loaded.Count & " tags read back"
