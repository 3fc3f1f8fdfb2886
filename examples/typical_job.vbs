' The typical job: a few lines of text to a colour bitmap, then a
' monochrome one.
'   cscript //nologo typical_job.vbs [COLOUR.bmp] [MONO.bmp]
Option Explicit

Dim colourFile, monoFile
colourFile = "receipt.bmp"
monoFile = "receipt-mono.bmp"
If WScript.Arguments.Count > 0 Then colourFile = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then monoFile = WScript.Arguments(1)

Dim lines
lines = Array( _
    "CORNER BAKERY & CAFE", _
    "12 Harbour Street, Portvale", _
    "--------------------------------", _
    "2 x Sourdough loaf         7.80", _
    "1 x Croissant              2.10", _
    "3 x Cinnamon bun           8.25", _
    "--------------------------------", _
    "Total                     18.15", _
    "Thank you for your visit!")

Sub Render(fileName, mono)
    Dim synapse, i, longest
    Set synapse = CreateObject("Lumarin.synapse")
    synapse.FontName = "Courier New"
    synapse.FontSize = 10
    synapse.LineSpacing = 16
    synapse.ForeColor = "Blue"
    synapse.FileName = fileName

    longest = ""
    For i = 0 To UBound(lines)
        If Len(lines(i)) > Len(longest) Then longest = lines(i)
    Next
    synapse.MaximumStringLength longest
    synapse.SidePadding 4
    synapse.TopPadding 4

    For i = 0 To UBound(lines)
        synapse.FinalBold = (i = 0)
        synapse.PrintText lines(i), 0, 0
    Next
    If mono Then synapse.Monotize ""
End Sub

' Monotize rewrites the file PrintText wrote, so the monochrome copy is a
' job of its own.
On Error Resume Next
Render colourFile, False
If Err.Number = 0 Then Render monoFile, True
If Err.Number <> 0 Then
    WScript.Echo "Lumarin error " & Err.Number & ": " & Err.Description
    WScript.Quit 1
End If
WScript.Echo "wrote " & colourFile & " and " & monoFile
WScript.Echo "LUMARIN-DONE"
