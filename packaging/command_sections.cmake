# Writes a help2man include file with one sub-section per command of ostrel-card, each the
# command's own --help, so that the manual page describes every command the program has.
# cmake -DPROGRAM=path/to/ostrel-card -DOUTPUT=file.h2m -P command_sections.cmake

function(program_help out_var)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${status})")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# The commands are the indented lines under "commandes :" in the program's usage.
program_help(usage)
string(REGEX MATCH "[Cc]ommandes? ?:\n(  [^\n]*\n)+" block "${usage}")
string(REGEX MATCHALL "\n  +[a-z][a-z0-9-]*" commands "${block}")
if(NOT commands)
  message(FATAL_ERROR "no command found in the usage of ${PROGRAM}")
endif()

set(page "[COMMANDES]\n")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  program_help(help ${command})
  # As roff text: backslashes and hyphens kept as typed, no line taken for a request.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  if(NOT help MATCHES "\n$")
    string(APPEND help "\n")
  endif()
  string(APPEND page ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${page}")
