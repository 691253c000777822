# Run by CPack after it has staged the files of a package and before it makes
# the archive. The .deb gets the two files Debian requires of every package,
# the copyright (our LICENSE) and a Debian changelog pointing to CHANGELOG.md.
# Then every staged file and folder gets the source's date, so two builds of
# one commit give the same archive whenever they were made (the Debian
# generator takes its own times from SOURCE_DATE_EPOCH).
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VELNARI_SOURCE_DATE_EPOCH})
if(CPACK_GENERATOR STREQUAL "DEB")
  set(doc ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/velnari)
  configure_file(${CPACK_VELNARI_SOURCE_DIR}/LICENSE ${doc}/copyright COPYONLY)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${doc}/changelog
       "velnari (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
       "  * Velnari ${CPACK_PACKAGE_VERSION}: see CHANGELOG.md in this folder.\n\n"
       " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
  execute_process(COMMAND gzip -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/*)
execute_process(COMMAND touch -h -d @${CPACK_VELNARI_SOURCE_DATE_EPOCH}
                        ${CPACK_TEMPORARY_DIRECTORY} ${staged}
                COMMAND_ERROR_IS_FATAL ANY)
