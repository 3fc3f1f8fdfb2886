# Writes the resource-script fragment holding the "_IID_SYNAPSE" blob: the
# 32-bit length 16, then the interface identifier in its in-memory byte
# order. The identifier comes from widl's output, so the IDL stays its only
# source.
#   cmake -DINPUT=Lumarin_i.c -DOUTPUT=lumarin_iid_synapse.rc -P iid_resource.cmake
file(READ "${INPUT}" source)
string(REGEX MATCH "IID__synapse[ \t]*,[^)]*" found "${source}")
string(REGEX MATCHALL "0x[0-9a-fA-F]+" parts "${found}")
list(LENGTH parts count)
if(NOT count EQUAL 11)
  message(FATAL_ERROR "IID__synapse not found in ${INPUT}")
endif()
list(TRANSFORM parts REPLACE "^0x" "")
# A bare number in a raw-data block is a little-endian 16-bit word, one
# with an L suffix a 32-bit word: Data1 is 32 bits, Data2 and Data3 16, and
# the last eight bytes go in pairs, the first of each pair low.
list(GET parts 0 d1)
list(GET parts 1 d2)
list(GET parts 2 d3)
set(words "16L, 0x${d1}L, 0x${d2}, 0x${d3}")
foreach(i 3 5 7 9)
  math(EXPR j "${i} + 1")
  list(GET parts ${i} low)
  list(GET parts ${j} high)
  set(words "${words}, 0x${high}${low}")
endforeach()
file(WRITE "${OUTPUT}.new"
  "/* Generated from the IDL's interface identifier; do not edit. */\n"
  "LUMARIN_RES_IID_SYNAPSE LUMARIN_RES_IID_SYNAPSE_TYPE\nBEGIN\n    ${words}\nEND\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
