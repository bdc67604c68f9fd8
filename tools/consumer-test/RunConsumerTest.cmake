# Installs a build tree into a scratch prefix, then configures, builds and
# runs the consumer project against it. Run with cmake -P and:
#   G3_BUILD_DIR        the build tree to install
#   G3_WORK_DIR         scratch folder (emptied first)
#   G3_CONSUMER_SOURCE  this folder
#   G3_GENERATOR, G3_CXX_COMPILER, G3_MAKE_PROGRAM (optional)
cmake_minimum_required(VERSION 3.16)
foreach(var G3_BUILD_DIR G3_WORK_DIR G3_CONSUMER_SOURCE G3_GENERATOR G3_CXX_COMPILER)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix "${G3_WORK_DIR}/prefix")
set(build "${G3_WORK_DIR}/consumer-build")
file(REMOVE_RECURSE "${G3_WORK_DIR}")
file(MAKE_DIRECTORY "${G3_WORK_DIR}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  message(STATUS "${what}: ok")
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("install" "${CMAKE_COMMAND}" --install "${G3_BUILD_DIR}" --prefix "${prefix}")

foreach(f include/Geometry/mesh/G3Surface.h include/Geometry/foundation/GArrayCollection.h)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "the install lacks ${f}")
  endif()
endforeach()
file(GLOB_RECURSE configs "${prefix}/*/g3kernelConfig.cmake")
file(GLOB_RECURSE versions "${prefix}/*/g3kernelConfigVersion.cmake")
if(NOT configs OR NOT versions)
  message(FATAL_ERROR "the install lacks g3kernelConfig.cmake or g3kernelConfigVersion.cmake")
endif()

set(configure_args -S "${G3_CONSUMER_SOURCE}" -B "${build}" -G "${G3_GENERATOR}"
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_COMPILER=${G3_CXX_COMPILER}"
    "-DCMAKE_PREFIX_PATH=${prefix}"
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if(G3_MAKE_PROGRAM)
  list(APPEND configure_args "-DCMAKE_MAKE_PROGRAM=${G3_MAKE_PROGRAM}")
endif()
run("configure consumer" "${CMAKE_COMMAND}" ${configure_args})
run("build consumer" "${CMAKE_COMMAND}" --build "${build}")
run("run consumer" "${build}/g3_consumer")
message(STATUS "${last_output}")

# The installed tool finds the installed library on its own.
if(EXISTS "${prefix}/bin/g3")
  run("installed g3" "${prefix}/bin/g3" --version)
  message(STATUS "${last_output}")
endif()
