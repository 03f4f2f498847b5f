# The bench's own output, run on a small image (-DBENCH=<brickwright-bench> -DIMAGE=<any file>):
# into a pipe it is plain unless colour is asked for, and its table holds only the comparisons whose
# two runs were both measured.
string(ASCII 27 escape)

function(run_bench out)
  execute_process(COMMAND ${BENCH} --image ${IMAGE} --benchmark_min_time=0.001 ${ARGN}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "brickwright-bench ${ARGN} exited with ${status}:\n${output}\n${errors}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

function(expect_colour output wanted what)
  string(FIND "${output}" "${escape}[" at)
  if(wanted AND at EQUAL -1)
    message(FATAL_ERROR "${what}: no colour, though asked for:\n${output}")
  elseif(NOT wanted AND NOT at EQUAL -1)
    message(FATAL_ERROR "${what}: colour escapes in the output:\n${output}")
  endif()
endfunction()

set(pair "--benchmark_filter=^scan/name-table/(fast|reference)$")

run_bench(output ${pair})
expect_colour("${output}" FALSE "a pipe")
if(NOT output MATCHES "\ncomparison +fast +reference +unit +ratio\nscan, name table pattern +[0-9.]+ +[0-9.]+ +GB/s +[0-9.]+x\n$")
  message(FATAL_ERROR "the table is not the one measured row:\n${output}")
endif()

run_bench(output ${pair} --benchmark_color=false)
expect_colour("${output}" FALSE "--benchmark_color=false")
run_bench(output ${pair} --benchmark_color=true)
expect_colour("${output}" TRUE "--benchmark_color=true")

# Half of a pair measured: no row at all, and no line of dashes.
run_bench(output "--benchmark_filter=^scan/name-table/fast$")
if(NOT output MATCHES "\nno comparison had both of its runs measured\n$" OR output MATCHES " +- +-")
  message(FATAL_ERROR "a filtered run shows unmeasured rows:\n${output}")
endif()
