# The release: reproducible programs, the install tree (programs, documents,
# manual pages) and the packages (.deb and .tar.gz on Linux, ZIP on Windows,
# and the source tarball).

# The date of the source, for the manual pages and the archives' file times:
# SOURCE_DATE_EPOCH if given, else the last commit, else (a source tarball,
# whose files all carry that date) the changelog's time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VELNARI_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE git_status
      OUTPUT_VARIABLE VELNARI_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A new commit or checkout configures again; otherwise a build folder made
    # before it would date its archives from the older commit.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
    endif()
  endif()
  if(NOT GIT_FOUND OR NOT git_status EQUAL 0)
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CHANGELOG.md VELNARI_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${VELNARI_SOURCE_DATE_EPOCH})  # string(TIMESTAMP) formats it
string(TIMESTAMP VELNARI_SOURCE_DATE "%Y-%m-%d" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

# A manual page of a program in a language (en or ja, UTF-8) from its template
# and the program's own text (man/<program>.cmake), gzipped where installed.
function(velnari_manual_page program language)
  include(${PROJECT_SOURCE_DIR}/man/${program}.cmake)
  set(VELNARI_PROGRAM ${program})
  string(TOUPPER ${program} VELNARI_PROGRAM_UPPER)
  if(language STREQUAL "en")
    set(template velnari.1.in)
    set(folder man)
    set(destination ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    set(template velnari.${language}.1.in)
    set(folder man/${language})
    set(destination ${CMAKE_INSTALL_MANDIR}/${language}/man1)
  endif()
  set(page ${PROJECT_BINARY_DIR}/${folder}/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/${template} ${page} @ONLY)
  if(WIN32)
    return()  # the ZIP carries no manual pages
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9nkf ${page}
    DEPENDS ${page}
    VERBATIM)
  add_custom_target(man_${program}_${language} ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${destination})
endfunction()
foreach(program Velnari VelnariL)
  foreach(language en ja)
    velnari_manual_page(${program} ${language})
  endforeach()
endforeach()

set(CPACK_PACKAGE_NAME velnari)
set(CPACK_PACKAGE_VENDOR "the Velnari developers")
set(CPACK_PACKAGE_CONTACT "Velnari developers <velnari@users.noreply.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rename the Kanovel fonts in place")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Every file in an archive gets the source's date; the .deb gets Debian's
# copyright and changelog files (cmake/cpack-staging.cmake).
set(CPACK_VELNARI_SOURCE_DATE_EPOCH ${VELNARI_SOURCE_DATE_EPOCH})
set(CPACK_VELNARI_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-staging.cmake)

# The source tarball: what git holds, without build folders.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME velnari-${PROJECT_VERSION})
set(CPACK_SOURCE_IGNORE_FILES "/build[^/]*/" "/\\\\.git/" "/\\\\.git$" "__pycache__/")

if(WIN32)
  # A release a Windows user can take: both programs, a short readme and the licence, zipped.
  install(TARGETS Velnari VelnariL RUNTIME DESTINATION .)
  install(PROGRAMS $<TARGET_FILE_DIR:Velnari>/Velnari-revert.exe
                   $<TARGET_FILE_DIR:VelnariL>/VelnariL-revert.exe DESTINATION .)
  install(FILES packaging/README-Windows.txt DESTINATION . RENAME README.txt)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Velnari-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS Velnari VelnariL RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB TGZ)
  # Debian wants stripped programs in any build; a Release build links them
  # stripped already (the .exe files too: strip would stamp them with the time).
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME velnari-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velnari developers <velnari@users.noreply.example.org>")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[Velnari and VelnariL rewrite the Latin names stored in the fonts of
the Kanovel family into full-width names, in place, changing nothing
else in the file and keeping its dates. VelnariL is for the eight
fonts of the L series.]=])
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
