# Prints the values of a build tree's cache variables, a line each, as CMake itself reads the cache (on
# standard error, where message() writes):
#
#   cmake -P cache_values.cmake TREE NAME...
#
# A variable the cache does not hold prints an empty line.
cmake_minimum_required(VERSION 3.25)

if(CMAKE_ARGC LESS 5)
  message(FATAL_ERROR "usage: cmake -P cache_values.cmake TREE NAME...")
endif()
math(EXPR last "${CMAKE_ARGC} - 1")
set(names)
foreach(i RANGE 4 ${last})
  list(APPEND names ${CMAKE_ARGV${i}})
endforeach()
load_cache(${CMAKE_ARGV3} READ_WITH_PREFIX value_ ${names})
foreach(name IN LISTS names)
  message("${value_${name}}")
endforeach()
