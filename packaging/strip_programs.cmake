# Run by CPack on the staged files before it makes the package: strips the
# programs as Debian's own packaging does (symbols not needed for linking,
# and the compiler's .comment and .note sections), which CPack's plain strip
# leaves in.
file(GLOB_RECURSE staged_programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program ${staged_programs})
  execute_process(COMMAND "${CPACK_TEVO_STRIP}" --remove-section=.comment --remove-section=.note --strip-unneeded
    "${program}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot strip ${program}")
  endif()
endforeach()
