' The synapse object as a script drives it, late-bound through IDispatch.
'   cscript synapse.vbs OUTPUT-FOLDER
' Every check prints its failure; the exit code is the number of failures.
Option Explicit
On Error Resume Next

Dim failures, out, fso
failures = 0
out = WScript.Arguments(0)

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

' The error the previous statement raised, then cleared.
Function Raised()
    Raised = Err.Number
    Err.Clear
End Function

' An error of ours: its number, and the object as its source.
Sub CheckError(expected, what)
    Dim n, d, s
    n = Err.Number : d = Err.Description : s = Err.Source
    Err.Clear
    Check n = expected, what & ": error " & n & " (" & d & "), expected " & expected
    If expected <> 0 And n = expected Then
        Check s = "Lumarin.synapse", what & ": source " & s
    End If
End Sub

' An error the dispatch conversions raise before the object is called.
Sub CheckNumber(expected, what)
    Dim n, d
    n = Err.Number : d = Err.Description
    Err.Clear
    Check n = expected, what & ": error " & n & " (" & d & "), expected " & expected
End Sub

Function NewSynapse()
    Set NewSynapse = CreateObject("Lumarin.synapse")
    If Err.Number <> 0 Then
        WScript.Echo "FAIL: CreateObject: " & Err.Number & " " & Err.Description
        WScript.Echo "LUMARIN-DONE"
        WScript.Quit 1
    End If
End Function

Function FileSize(path)
    FileSize = -1
    FileSize = fso.GetFile(path).Size
    Err.Clear
End Function

Set fso = CreateObject("Scripting.FileSystemObject")
Check Raised() = 0, "FileSystemObject"

' --- properties read back what was stored
Dim o
Set o = NewSynapse()
Check o.LineSpacing = 0 And o.FontSize = 0 And o.FontWeight = 0, "numeric defaults"
Check o.FileName = "" And o.FontName = "" And o.ForeColor = "" And o.BackColor = "", "text defaults"
Check o.FinalBold = 0 And o.FontItalic = 0, "switch defaults"
o.LineSpacing = -7 : Check o.LineSpacing = -7, "LineSpacing"
o.FontSize = 12 : Check o.FontSize = 12, "FontSize"
o.FontWeight = 95 : Check o.FontWeight = 95, "FontWeight"
o.FileName = "C:\x.bmp" : Check o.FileName = "C:\x.bmp", "FileName"
o.FontName = "Arial" : Check o.FontName = "Arial", "FontName"
o.ForeColor = "Red" : Check o.ForeColor = "Red", "ForeColor"
o.BackColor = "no such" : Check o.BackColor = "no such", "BackColor"
o.FontUnderline = True : Check o.FontUnderline = True, "FontUnderline"
o.FontStrikethru = True : Check o.FontStrikethru = True, "FontStrikethru"
o.FontItalic = False : Check o.FontItalic = False, "FontItalic"
' Dispatch converts a number to a Boolean property as True, -1.
o.FinalBold = 1
Check CInt(o.FinalBold) = -1, "FinalBold = 1 reads back " & CInt(o.FinalBold)
Check TypeName(o.FinalBold) = "Boolean", "FinalBold is a Boolean"
Check TypeName(o.FontSize) = "Integer", "FontSize is an Integer"
o.FontSize = 40000
CheckNumber 6, "FontSize = 40000"
Check Raised() = 0, "property round trip"

' --- the typical job
Dim lines, longest, i, path, rows
lines = Array("Lumarin prints each line.", "Second line", "x", "Variables and literals")
Set o = NewSynapse()
path = out & "\typical.bmp"
fso.DeleteFile path : Err.Clear
o.FontName = "Courier New"
o.FontSize = 10
o.LineSpacing = 16
o.FileName = path
longest = lines(0)
Check Len(longest) = 25, "longest line has 25 characters"
o.MaximumStringLength longest
CheckError 0, "MaximumStringLength"
Check o.FontWeight = 80, "FontWeight after MaximumStringLength: " & o.FontWeight
o.SidePadding 4
CheckError 0, "SidePadding"
o.TopPadding 4
CheckError 0, "TopPadding"
Dim x, y, text
x = 0 : y = 0
For i = 0 To UBound(lines) - 1
    text = lines(i)
    o.FinalBold = (i = 0)
    o.PrintText text, x, y
    CheckError 0, "PrintText with variables, line " & i
Next
o.PrintText "Variables and literals", 0, 0
CheckError 0, "PrintText with literals"
' Variables of other types are converted for the call and keep their type.
Dim sx, iy
sx = "0" : iy = CInt(0)
o.PrintText lines(1), sx, iy
CheckError 0, "PrintText with text and Integer variables"
Check TypeName(sx) = "String" And sx = "0", "text variable kept: " & TypeName(sx)
Check TypeName(iy) = "Integer" And iy = 0, "Integer variable kept: " & TypeName(iy)
sx = "abc"
o.PrintText lines(1), sx, iy
CheckNumber 13, "PrintText with x = ""abc"""
rows = 25 + 26 * 5
' 208 pixels of three bytes are 624 bytes a row, no padding.
Check FileSize(path) = 54 + 624 * rows, "colour file size " & FileSize(path) & ", expected " & (54 + 624 * rows)
fso.CopyFile path, out & "\typical-colour.bmp", True
o.Monotize path
CheckError 0, "Monotize"
' 208 pixels of one bit are 26 bytes a row, padded to 28.
Check FileSize(path) = 62 + 28 * rows, "mono file size " & FileSize(path) & ", expected " & (62 + 28 * rows)
Dim loc
loc = "ignored"
o.Monotize loc
CheckError 0, "Monotize with a variable"

' --- TopPadding's argument
Set o = NewSynapse()
o.LineSpacing = 2
o.TopPadding "7"
CheckError 0, "TopPadding(""7"")"
Dim v
v = "7" : o.TopPadding v
CheckError 0, "TopPadding with a text variable"
o.TopPadding "abc"
CheckError 13, "TopPadding(""abc"")"
v = "abc" : o.TopPadding v
CheckError 13, "TopPadding with variable ""abc"""
o.TopPadding Null
CheckError 94, "TopPadding(Null)"
o.TopPadding Empty
CheckError 0, "TopPadding(Empty)"
o.TopPadding True
CheckError 0, "TopPadding(True)"
o.TopPadding CCur(1.5)
CheckError 0, "TopPadding(currency)"
o.TopPadding 2.5
CheckError 0, "TopPadding(2.5)"
o.TopPadding 1E+300
CheckError 6, "TopPadding(1E+300)"

' --- errors the methods raise
Set o = NewSynapse()
o.FontSize = 10
o.LineSpacing = 16
o.FileName = ""
o.PrintText "no file", 0, 0
CheckError 52, "PrintText without FileName"
o.SidePadding -32768
CheckError 6, "SidePadding(-32768)"
Dim n
n = -32768
o.SidePadding n
CheckError 6, "SidePadding with variable -32768"

Set o = NewSynapse()
o.FileName = out & "\empty.bmp"
o.MaximumStringLength ""
o.Monotize ""
CheckError 9, "Monotize of a surface without pixels"
Check Err.Description = "", "Err cleared"
o.Monotize ""
Dim description
description = Err.Description : Err.Clear
Check description = "Subscript out of range", "description of 9: " & description

' --- arguments of the wrong type or number, for every member. The
' dispatch conversions raise these before the object runs, except for
' TopPadding, whose Variant the object reads itself.
Set o = NewSynapse()
Dim d, arr, r
Set d = CreateObject("Scripting.Dictionary")
arr = Array(1, 2)
' Wine's VBScript has no Execute, so each member is written out.
o.LineSpacing = "abc" : CheckNumber 13, "LineSpacing = ""abc"""
o.LineSpacing = Null : CheckNumber 13, "LineSpacing = Null"
o.LineSpacing = arr : CheckNumber 13, "LineSpacing = an array"
o.LineSpacing = d : CheckNumber 13, "LineSpacing = an object"
o.LineSpacing = 32768 : CheckNumber 6, "LineSpacing = 32768"
o.LineSpacing = 1E+300 : CheckNumber 6, "LineSpacing = 1E+300"
Set o.LineSpacing = d : CheckNumber 438, "Set LineSpacing = an object"
o.LineSpacing(1) = 2 : CheckNumber 450, "LineSpacing(1) = 2"
r = o.LineSpacing(1) : CheckNumber 450, "reading LineSpacing(1)"
Check o.LineSpacing = 0, "LineSpacing unchanged by the failures"
o.FontSize = "abc" : CheckNumber 13, "FontSize = ""abc"""
o.FontSize = Null : CheckNumber 13, "FontSize = Null"
o.FontSize = arr : CheckNumber 13, "FontSize = an array"
o.FontSize = d : CheckNumber 13, "FontSize = an object"
o.FontSize = 32768 : CheckNumber 6, "FontSize = 32768"
o.FontSize = 1E+300 : CheckNumber 6, "FontSize = 1E+300"
Set o.FontSize = d : CheckNumber 438, "Set FontSize = an object"
o.FontSize(1) = 2 : CheckNumber 450, "FontSize(1) = 2"
r = o.FontSize(1) : CheckNumber 450, "reading FontSize(1)"
Check o.FontSize = 0, "FontSize unchanged by the failures"
o.FontWeight = "abc" : CheckNumber 13, "FontWeight = ""abc"""
o.FontWeight = Null : CheckNumber 13, "FontWeight = Null"
o.FontWeight = arr : CheckNumber 13, "FontWeight = an array"
o.FontWeight = d : CheckNumber 13, "FontWeight = an object"
o.FontWeight = 32768 : CheckNumber 6, "FontWeight = 32768"
o.FontWeight = 1E+300 : CheckNumber 6, "FontWeight = 1E+300"
Set o.FontWeight = d : CheckNumber 438, "Set FontWeight = an object"
o.FontWeight(1) = 2 : CheckNumber 450, "FontWeight(1) = 2"
r = o.FontWeight(1) : CheckNumber 450, "reading FontWeight(1)"
Check o.FontWeight = 0, "FontWeight unchanged by the failures"
o.FinalBold = "abc" : CheckNumber 13, "FinalBold = ""abc"""
o.FinalBold = Null : CheckNumber 13, "FinalBold = Null"
o.FinalBold = arr : CheckNumber 13, "FinalBold = an array"
o.FinalBold = d : CheckNumber 13, "FinalBold = an object"
o.FinalBold(1) = True : CheckNumber 450, "FinalBold(1) = True"
Check o.FinalBold = False, "FinalBold unchanged by the failures"
o.FontUnderline = "abc" : CheckNumber 13, "FontUnderline = ""abc"""
o.FontUnderline = Null : CheckNumber 13, "FontUnderline = Null"
o.FontUnderline = arr : CheckNumber 13, "FontUnderline = an array"
o.FontUnderline = d : CheckNumber 13, "FontUnderline = an object"
o.FontUnderline(1) = True : CheckNumber 450, "FontUnderline(1) = True"
Check o.FontUnderline = False, "FontUnderline unchanged by the failures"
o.FontItalic = "abc" : CheckNumber 13, "FontItalic = ""abc"""
o.FontItalic = Null : CheckNumber 13, "FontItalic = Null"
o.FontItalic = arr : CheckNumber 13, "FontItalic = an array"
o.FontItalic = d : CheckNumber 13, "FontItalic = an object"
o.FontItalic(1) = True : CheckNumber 450, "FontItalic(1) = True"
Check o.FontItalic = False, "FontItalic unchanged by the failures"
o.FontStrikethru = "abc" : CheckNumber 13, "FontStrikethru = ""abc"""
o.FontStrikethru = Null : CheckNumber 13, "FontStrikethru = Null"
o.FontStrikethru = arr : CheckNumber 13, "FontStrikethru = an array"
o.FontStrikethru = d : CheckNumber 13, "FontStrikethru = an object"
o.FontStrikethru(1) = True : CheckNumber 450, "FontStrikethru(1) = True"
Check o.FontStrikethru = False, "FontStrikethru unchanged by the failures"
o.FileName = Null : CheckNumber 13, "FileName = Null"
o.FileName = arr : CheckNumber 13, "FileName = an array"
o.FileName = d : CheckNumber 13, "FileName = an object"
o.FileName = o : CheckNumber 13, "FileName = the synapse itself"
o.FileName(1) = "x" : CheckNumber 450, "FileName(1) = ""x"""
Check o.FileName = "", "FileName unchanged by the failures"
o.FontName = Null : CheckNumber 13, "FontName = Null"
o.FontName = arr : CheckNumber 13, "FontName = an array"
o.FontName = d : CheckNumber 13, "FontName = an object"
o.FontName = o : CheckNumber 13, "FontName = the synapse itself"
o.FontName(1) = "x" : CheckNumber 450, "FontName(1) = ""x"""
Check o.FontName = "", "FontName unchanged by the failures"
o.ForeColor = Null : CheckNumber 13, "ForeColor = Null"
o.ForeColor = arr : CheckNumber 13, "ForeColor = an array"
o.ForeColor = d : CheckNumber 13, "ForeColor = an object"
o.ForeColor = o : CheckNumber 13, "ForeColor = the synapse itself"
o.ForeColor(1) = "x" : CheckNumber 450, "ForeColor(1) = ""x"""
Check o.ForeColor = "", "ForeColor unchanged by the failures"
o.BackColor = Null : CheckNumber 13, "BackColor = Null"
o.BackColor = arr : CheckNumber 13, "BackColor = an array"
o.BackColor = d : CheckNumber 13, "BackColor = an object"
o.BackColor = o : CheckNumber 13, "BackColor = the synapse itself"
o.BackColor(1) = "x" : CheckNumber 450, "BackColor(1) = ""x"""
Check o.BackColor = "", "BackColor unchanged by the failures"
o.Monotize Null : CheckNumber 13, "Monotize Null"
o.Monotize arr : CheckNumber 13, "Monotize with an array"
o.Monotize d : CheckNumber 13, "Monotize with an object"
o.Monotize : CheckNumber 450, "Monotize without its argument"
o.Monotize "a", "b" : CheckNumber 450, "Monotize with two arguments"
o.MaximumStringLength Null : CheckNumber 13, "MaximumStringLength Null"
o.MaximumStringLength arr : CheckNumber 13, "MaximumStringLength with an array"
o.MaximumStringLength d : CheckNumber 13, "MaximumStringLength with an object"
o.MaximumStringLength : CheckNumber 450, "MaximumStringLength without its argument"
o.MaximumStringLength "a", "b" : CheckNumber 450, "MaximumStringLength with two arguments"
o.PrintText "a", "x", 0 : CheckNumber 13, "PrintText with x = ""x"""
o.PrintText "a", 0, Null : CheckNumber 13, "PrintText with y = Null"
o.PrintText arr, 0, 0 : CheckNumber 13, "PrintText with an array"
o.PrintText d, 0, 0 : CheckNumber 13, "PrintText with an object"
o.PrintText Null, 0, 0 : CheckNumber 13, "PrintText with Null"
o.PrintText "a", 2147483648, 0 : CheckNumber 6, "PrintText with x = 2^31"
o.PrintText "a", 0, -1E+300 : CheckNumber 6, "PrintText with y = -1E+300"
o.PrintText "a" : CheckNumber 450, "PrintText with one argument"
o.PrintText "a", 0, 0, 0 : CheckNumber 450, "PrintText with four arguments"
r = o.PrintText : CheckNumber 450, "PrintText read as a property"
o.SidePadding "abc" : CheckNumber 13, "SidePadding ""abc"""
o.SidePadding Null : CheckNumber 13, "SidePadding Null"
o.SidePadding arr : CheckNumber 13, "SidePadding with an array"
o.SidePadding 40000 : CheckNumber 6, "SidePadding 40000"
o.SidePadding : CheckNumber 450, "SidePadding without its argument"
o.TopPadding arr : CheckError 13, "TopPadding with an array"
o.TopPadding d : CheckError 13, "TopPadding with an object"
o.TopPadding Nothing : CheckError 13, "TopPadding(Nothing)"
o.TopPadding : CheckNumber 450, "TopPadding without its argument"
o.TopPadding 1, 2 : CheckNumber 450, "TopPadding with two arguments"
o.NoSuchMember = 1 : CheckNumber 438, "an unknown property"
o.NoSuchMember : CheckNumber 438, "an unknown method"
' Still in order after all that.
o.FileName = out & "\after-wrong-types.bmp"
o.FontSize = 10
o.LineSpacing = 16
o.MaximumStringLength "still works"
o.PrintText "still works", 0, 0
CheckError 0, "PrintText after the wrong arguments"
Check FileSize(out & "\after-wrong-types.bmp") > 54, "the file after the wrong arguments"

' LineSpacing 300: the 110th line's position leaves 16 bits.
Set o = NewSynapse()
o.FileName = out & "\tall.bmp"
o.FontSize = 1
o.LineSpacing = 300
o.MaximumStringLength "a"
Dim early
early = 0
For i = 1 To 109
    o.PrintText "a", 0, 0
    If Err.Number <> 0 Then early = early + 1
    Err.Clear
Next
Check early = 0, "lines 1 to 109 printed, " & early & " failed"
o.PrintText "a", 0, 0
description = Err.Description
CheckError 6, "110th line at LineSpacing 300"
Check description = "Overflow", "description of 6: " & description

Set o = Nothing
WScript.Echo failures & " failure(s)"
WScript.Echo "LUMARIN-DONE"
WScript.Quit failures
