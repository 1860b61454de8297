# Makes the Windows download, unpacks it into a folder of its own and checks
# that it holds the program the build made and the players' read-me, and
# nothing else. Run by ctest as: cmake -DBUILD_DIR=... -DVERSION=... -P package_check.cmake
set(archive ${BUILD_DIR}/package/QuarrixBrowser-${VERSION}-win32.zip)
set(unpacked ${BUILD_DIR}/package-check)
file(REMOVE ${archive})
file(REMOVE_RECURSE ${unpacked})

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target package
                RESULT_VARIABLE built OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT built EQUAL 0 OR NOT EXISTS ${archive})
  message(FATAL_ERROR "no archive ${archive} was made:\n${output}")
endif()

file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE unpack)
if(NOT unpack EQUAL 0)
  message(FATAL_ERROR "the archive could not be unpacked")
endif()

set(folder QuarrixBrowser-${VERSION}-win32)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${unpacked} ${unpacked}/*)
list(SORT entries)
set(expected ${folder} ${folder}/QuarrixBrowser.exe ${folder}/README.txt)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "the archive holds [${entries}] instead of [${expected}]")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${unpacked}/${folder}/QuarrixBrowser.exe
                        ${BUILD_DIR}/QuarrixBrowser.exe RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "the archive's QuarrixBrowser.exe is not the one the build made")
endif()

file(READ ${unpacked}/${folder}/README.txt readme)
foreach(needed "Quarrix Server Browser ${VERSION}" "HKEY_CURRENT_USER\\SOFTWARE\\Orbelle\\Quarrix Server Browser"
               "Delete the folder")
  string(FIND "${readme}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the read-me lacks \"${needed}\"")
  endif()
endforeach()
# Windows line ends, for Notepad; file(READ) drops carriage returns, so the
# bytes are looked at.
file(READ ${unpacked}/${folder}/README.txt bytes HEX)
string(FIND "${bytes}" "0d0a" crlf)
if(crlf EQUAL -1)
  message(FATAL_ERROR "the read-me does not have Windows line ends")
endif()
file(REMOVE_RECURSE ${unpacked})
message(STATUS "${archive}: ${entries}")
