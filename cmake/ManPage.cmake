# cmake -DTOOL=quorvexcfg -DVERSION=x -DOUT=quorvexcfg.1 -P ManPage.cmake
# The man page of quorvexcfg is its --help text, set as it stands.
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed: ${status}")
endif()
# roff: a backslash is \e; a line starting with . or ' would be a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUT} ".TH QUORVEXCFG 1 \"\" \"Quorvex3 ${VERSION}\" \"User Commands\"\n"
                  ".SH NAME\nquorvexcfg \\- read, check, compare and merge Quorvex3 configuration files\n"
                  ".SH DESCRIPTION\n.nf\n${help}.fi\n")
