# Reads the code again with lupdate into a copy of the translation file and
# fails when a text of the code is missing there or unfinished, or when it
# holds a text the code no longer has. Run by CTest with -DLUPDATE, -DTS_FILE,
# -DSOURCES (a list file), -DSOURCE_DIR, -DWORK (a scratch folder) and
# -DOPTIONS (lupdate's, separated by bars).
string(REPLACE "|" ";" OPTIONS "${OPTIONS}")
file(REMOVE_RECURSE "${WORK}")
file(COPY "${TS_FILE}" DESTINATION "${WORK}")
get_filename_component(name "${TS_FILE}" NAME)
execute_process(COMMAND "${LUPDATE}" ${OPTIONS} -I "${SOURCE_DIR}" "@${SOURCES}" -ts "${WORK}/${name}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
# A warning names a text lupdate could not take in (a tr() it cannot place).
if(NOT status EQUAL 0 OR err MATCHES "[Ww]arning")
  message(FATAL_ERROR "lupdate (${status}):\n${out}\n${err}")
endif()
file(READ "${WORK}/${name}" ts)
string(REGEX MATCHALL "<source>[^<]*</source>[^<]*(<[^/][^>]*>[^<]*)*<translation[^>]*type=\"(unfinished|vanished|obsolete)\""
       faults "${ts}")
if(faults)
  string(REGEX REPLACE "<source>|</source>[^;]*type=" "  " faults "${faults}")
  string(REPLACE ";" "\n" faults "${faults}")
  message(FATAL_ERROR "${name} lacks these texts or has them no longer "
                      "(build the target update_translations, then translate):\n${faults}")
endif()
