' A script client of the installed module: creates the class by its program
' identifier, as a script host does, and reads the one answer a script gets
' from the object itself, the name of its type (the class's default
' interface, from the module's type information).
'
'   cscript //nologo installed_client.vbs      exit code: number of failed checks

Option Explicit
Dim failed, obj, name, why
failed = 0

Sub Report(ok, what)
    If ok Then
        WScript.Echo "PASS: " & what
    Else
        WScript.Echo "FAIL: " & what
        failed = failed + 1
    End If
End Sub

On Error Resume Next
Set obj = CreateObject("TivOrvantaZNA100.CTivOrvantaZNA100")
why = ""
If Err.Number <> 0 Then why = ": 0x" & Hex(Err.Number) & " " & Err.Description
Report Err.Number = 0, "CreateObject(""TivOrvantaZNA100.CTivOrvantaZNA100"")" & why
Err.Clear
If IsObject(obj) Then
    name = TypeName(obj)
    Report Err.Number = 0 And name = "_CTivOrvantaZNA100", "TypeName(obj) is """ & name & """"
End If
On Error GoTo 0

Set obj = Nothing
WScript.Quit failed
