# Runs `ahx compile` on a source with a mistake on line 4 and checks that the
# message names the file and the line and that the exit code is 2.
execute_process(COMMAND ${AHX} compile ${SOURCE} -o ${OUTPUT}
  RESULT_VARIABLE result ERROR_VARIABLE message OUTPUT_QUIET)
if(NOT result EQUAL 2)
  message(FATAL_ERROR "exit code ${result}, expected 2")
endif()
if(NOT message MATCHES "bad_song.ahxt:4: step command must be hex digits")
  message(FATAL_ERROR "unexpected message: ${message}")
endif()
if(EXISTS ${OUTPUT})
  message(FATAL_ERROR "a failed compile left ${OUTPUT} behind")
endif()
