# After each option's tag (the line after .TP), a break: its text starts on
# a line of its own however short the tag (see LumarinInstall.cmake).
/^\.TP$/{
n
a\
.br
}
