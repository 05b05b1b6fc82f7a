# Runs PROGRAM with ARGUMENTS (separated by blanks) and writes its standard output to OUTPUT, as
# in `PROGRAM ARGUMENTS > OUTPUT`; a program that fails leaves no OUTPUT and fails the build.
#   cmake -DPROGRAM=... -DARGUMENTS="..." -DOUTPUT=... -P write_output.cmake
separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
get_filename_component(directory "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${directory}")
execute_process(COMMAND "${PROGRAM}" ${arguments} OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "${PROGRAM} ${ARGUMENTS} failed: ${result}")
endif()
