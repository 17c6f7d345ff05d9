# SPDX-License-Identifier: GPL-3.0-or-later
# Renders one man page: cmake -DSCDOC=... -DINPUT=page.1.scd -DOUTPUT=page.1 [-DDATE=YYYY-MM-DD]
#   -P scdoc_man.cmake
# Writes OUTPUT (roff, for `man -l`) and OUTPUT.gz (what is installed).
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_VARIABLE roff
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
# The pages are German but installed where groff hyphenates English: no hyphenation at all
# (scdoc's own .nh is undone by the man macros; their HY register is what counts).
string(REPLACE "\n.TH " "\n.nr HY 0\n.TH " roff "${roff}")
# The release's date, not the day of the build: the page in the build tree and the packaged one
# stay the same whatever day either was made.
if(DATE)
  string(REGEX REPLACE "(\n\\.TH \"[^\"]*\" \"[^\"]*\" )\"[^\"]*\"" "\\1\"${DATE}\"" roff
                       "${roff}")
endif()
file(WRITE ${OUTPUT} "${roff}")
execute_process(COMMAND gzip -9 -n -f -k ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
