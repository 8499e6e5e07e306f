# Reads the code again with lupdate into a copy of the translation file and
# fails when a text of the code is missing from it or left unfinished, or
# when it holds a text the code no longer has. Run by CTest:
#   cmake -DLUPDATE=... -DTS_FILE=... -DSOURCES=list -DSOURCE_DIR=... -DWORK=dir
#         -DOPTIONS=lupdate-options-separated-by-bars -P check_translations.cmake
string(REPLACE "|" ";" OPTIONS "${OPTIONS}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY "${TS_FILE}" DESTINATION "${WORK}")
get_filename_component(name "${TS_FILE}" NAME)
set(copy "${WORK}/${name}")
execute_process(COMMAND "${LUPDATE}" ${OPTIONS} -I "${SOURCE_DIR}" "@${SOURCES}" -ts "${copy}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${status}):\n${out}\n${err}")
endif()
# lupdate's warnings name texts it could not take in (a tr() it cannot place).
if(err MATCHES "[Ww]arning")
  message(FATAL_ERROR "lupdate warns:\n${err}")
endif()

file(READ "${copy}" ts)
string(REPLACE "<message" ";<message" messages "${ts}")
set(faults "")
foreach(message IN LISTS messages)
  if(message MATCHES "<translation[^>]*type=\"(unfinished|vanished|obsolete)\"")
    set(kind "${CMAKE_MATCH_1}")
    string(REGEX MATCH "<source>([^<]*)</source>" source "${message}")
    string(APPEND faults "  ${kind}: ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
if(faults)
  message(FATAL_ERROR "${name} is not up to date with the code "
                      "(build the target update_translations, then translate):\n${faults}")
endif()
message(STATUS "${name}: every text translated")
