# --help lists the program's own options first, then Google Benchmark's; an unknown option is named
# in one line, with one more on where help is, exit status 2, and nothing is run.
foreach(help --help -h)
  execute_process(COMMAND "${BENCH}" ${help} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 60)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${help}: exit status ${status}\n${out}${err}")
  endif()
  set(previous -1)
  foreach(needle "usage: brickwright-bench" "  --image FILE" "  --json PATH" "  --byte-frequencies"
                 "Google Benchmark's options:" "--benchmark_filter=")
    string(FIND "${out}" "${needle}" at)
    if(at EQUAL -1 OR NOT at GREATER previous)
      message(FATAL_ERROR "${help}: '${needle}' is missing or out of order:\n${out}")
    endif()
    set(previous ${at})
  endforeach()
endforeach()

execute_process(COMMAND "${BENCH}" --nonsense RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 60)
if(NOT status EQUAL 2 OR NOT out STREQUAL "")
  message(FATAL_ERROR "--nonsense: exit status ${status}, stdout '${out}'")
endif()
if(NOT err MATCHES "^[^\n]*--nonsense\nTry 'brickwright-bench --help' for the options\\.\n$")
  message(FATAL_ERROR "--nonsense: stderr '${err}'")
endif()
