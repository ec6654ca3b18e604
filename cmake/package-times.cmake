# Run by cpack once it has installed a package's files into its staging folder. With
# SOURCE_DATE_EPOCH set, every staged file takes that time, whenever it was built: rpm only brings
# later times down to it, so a file built before would keep its own time, and two builds of the
# same sources would give two different .rpm files.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec touch -h
                          -d @$ENV{SOURCE_DATE_EPOCH} {} +
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
