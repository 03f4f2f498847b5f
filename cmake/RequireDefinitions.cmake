# For the scripts run with `cmake -D<name>=<value>... -P <script>`: stops, naming the first -D option
# the caller left out.
#
#   require_definitions(<script's name> <name>...)
function(require_definitions script)
  foreach(name IN LISTS ARGN)
    if(NOT DEFINED ${name})
      message(FATAL_ERROR "${script}: -D${name}=... is missing")
    endif()
  endforeach()
endfunction()
