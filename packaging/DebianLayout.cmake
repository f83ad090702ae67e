# Run by CPack between the install into its staging folder and the making of
# the package: Debian's layout, which `cmake --install` does not need.
# Manual pages compressed, the copyright file and the changelog in the
# package's documentation folder, the user guide registered with doc-base,
# and the programs without the sections strip leaves.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

# gzip -9n: no name or time stamp in the header, so a rebuild gives the same bytes.
function(compress path)
  execute_process(COMMAND gzip -9nf "${path}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${path} failed")
  endif()
endfunction()

file(GLOB_RECURSE pages "${root}/share/man/*")
foreach(page IN LISTS pages)
  if(NOT page MATCHES "\\.gz$")
    compress("${page}")
  endif()
endforeach()

file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_ZOP5_PACKAGING_DIR}/copyright" "${doc}/copyright")
file(COPY_FILE "${CPACK_ZOP5_PACKAGING_DIR}/changelog" "${doc}/changelog")
compress("${doc}/changelog")
file(MAKE_DIRECTORY "${root}/share/doc-base")
file(COPY_FILE "${CPACK_ZOP5_PACKAGING_DIR}/doc-base" "${root}/share/doc-base/${CPACK_PACKAGE_NAME}-guide")

file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip ${program} failed")
  endif()
endforeach()

# Files as root writes them for everyone to read, whatever the builder's umask.
file(GLOB_RECURSE docs "${doc}/*" "${root}/share/doc-base/*")
file(CHMOD ${docs} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
