' Synapse objects made and dropped one after another, each used as a
' receipt job uses it, failures included. Two hosts run it:
'   cscript objects.vbs COUNT OUTPUT-FOLDER
' or lifetime_test, which hosts the script engine itself, calls MakeObjects
' and reads Report, and can therefore measure its own memory and ask the
' library whether it may unload.

Dim Report
Report = ""

' Each error that differs from the one expected goes into Report.
Function Expect(expected, what)
    Expect = 0
    If Err.Number <> expected Then
        Report = Report & what & ": error " & Err.Number & " (" & Err.Description & "), expected " & expected & vbCrLf
        Expect = 1
    End If
    Err.Clear
End Function

' Makes COUNT objects, one at a time, and returns how many checks failed.
Function MakeObjects(count, folder)
    Dim i, o, path, failed, x, y
    failed = 0
    On Error Resume Next
    For i = 1 To count
        Set o = CreateObject("Lumarin.synapse")
        failed = failed + Expect(0, "CreateObject " & i)
        path = folder & "\object-" & (i Mod 3) & ".bmp"
        o.FontName = "Courier New"
        o.FontSize = 8 + (i Mod 5)
        o.LineSpacing = 14
        o.FinalBold = (i Mod 2 = 0)
        o.FontItalic = (i Mod 3 = 0)
        o.FontUnderline = (i Mod 7 = 0)
        o.ForeColor = "Blue"
        o.BackColor = "White"
        o.FileName = path
        o.MaximumStringLength "Object number 00000"
        o.SidePadding 2
        o.TopPadding "3"
        x = 0 : y = 0
        o.PrintText "Object number " & i, x, y
        failed = failed + Expect(0, "PrintText " & i)
        If i Mod 16 = 0 Then
            o.Monotize path
            failed = failed + Expect(0, "Monotize " & i)
        End If
        If i Mod 50 = 0 Then
            ' Failures make error information of their own each time.
            o.TopPadding "no number"
            failed = failed + Expect(13, "TopPadding(""no number"") " & i)
            o.FileName = folder & "\no such folder\x.bmp"
            o.PrintText "lost", 0, 0
            failed = failed + Expect(76, "PrintText into a missing folder " & i)
        End If
        Set o = Nothing
    Next
    MakeObjects = failed
End Function

' Under cscript the script runs itself; another host has no WScript.
If IsObject(WScript) Then
    Dim failures
    failures = MakeObjects(CLng(WScript.Arguments(0)), WScript.Arguments(1))
    WScript.Echo Report & failures & " failure(s)"
    WScript.Echo "LUMARIN-DONE"
    If failures > 0 Then WScript.Quit 1
End If
