# Checks that a Windows executable imports only DLLs every Windows has, so it
# runs with no runtime DLL beside it; with -DGUI=ON, also that it is a GUI
# program, which opens no console window.
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXECUTABLE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|user32|gdi32|winmm|opengl32|glu32|msvcrt|advapi32|shell32|ole32)\\.dll$")
    message(FATAL_ERROR "${EXECUTABLE} needs ${dll}")
  endif()
endforeach()
# A GUI program opens no console window when it starts.
if(GUI AND NOT dump MATCHES "Subsystem[ \t]+0*2[ \t]+\\(Windows GUI\\)")
  message(FATAL_ERROR "${EXECUTABLE} is not a Windows GUI program")
endif()
message(STATUS "imports: ${imports}")
