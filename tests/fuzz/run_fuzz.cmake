# Runs the fuzzer on a fresh copy of the seed corpus: libFuzzer writes the inputs
# it finds into its corpus folder, and the committed seeds must stay unchanged.
# Arguments: -DFUZZER=<binary> -DNAME=<target name> -DSEEDS=<seed folder> -DWORK=<scratch folder>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(GLOB seeds "${SEEDS}/*")
file(COPY ${seeds} DESTINATION "${WORK}")
execute_process(COMMAND "${FUZZER}" -runs=200000 -max_total_time=30 -seed=1 "${WORK}"
                RESULT_VARIABLE status)
file(REMOVE_RECURSE "${WORK}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} failed: ${status}")
endif()
