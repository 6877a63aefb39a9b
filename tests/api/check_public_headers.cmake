# cmake -DBUILD_DIR= -DSOURCE_DIR= -DPREFIX= -DCXX= -DINCLUDES= -DSOURCE= -DPART=headers|app|cli
#       -P check_public_headers.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component dev --prefix ${PREFIX}
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "installing the dev component failed")
endif()
set(flags -std=c++20 -fsyntax-only -fPIC -Wall -Wextra -Werror -DQT_NO_DEBUG -I${PREFIX}/include)
foreach(dir ${INCLUDES})
  list(APPEND flags -isystem ${dir})
endforeach()
if(PART STREQUAL "headers")
  execute_process(COMMAND ${CXX} ${flags} ${SOURCE} RESULT_VARIABLE compiled ERROR_VARIABLE errors)
  if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "the installed headers do not compile on their own:\n${errors}")
  endif()
  message(STATUS "the installed headers compile on their own")
  return()
endif()

# The front ends: their folders are reached through links in a folder of
# their own, so that "vortan/..." can only mean the installed headers.
set(fronts ${PREFIX}/fronts)
file(MAKE_DIRECTORY ${fronts})
foreach(dir app cli control)
  file(CREATE_LINK ${SOURCE_DIR}/${dir} ${fronts}/${dir} SYMBOLIC)
endforeach()
file(GLOB_RECURSE sources ${SOURCE_DIR}/${PART}/*.cpp)
# A test may take every SHARDS-th source from SHARD on, so that several
# share the work side by side.
if(DEFINED SHARDS)
  set(all ${sources})
  set(sources "")
  list(LENGTH all total)
  math(EXPR last "${total} - 1")
  foreach(i RANGE ${SHARD} ${last} ${SHARDS})
    list(GET all ${i} source)
    list(APPEND sources ${source})
  endforeach()
endif()
set(failures "")
foreach(source ${sources})
  file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
  execute_process(COMMAND ${CXX} ${flags} -I${fronts} -DBRENVO_VERSION="0"
                          -DBRENVO_UPDATES_URL="https://updates.invalid/" -DBRENVO_BUILD_NUMBER=0
                          ${fronts}/${relative}
                  RESULT_VARIABLE compiled ERROR_VARIABLE errors)
  if(NOT compiled EQUAL 0)
    string(APPEND failures "${relative}:\n${errors}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "front-end sources need more than the installed headers:\n${failures}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources of ${PART}/ compile with the installed headers alone")
