# Sources and libraries of the "des" command, for the ostrel-card executable.
set(OSTREL_DES_CLI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/des_command.cpp)
set(OSTREL_DES_CLI_LIBRARIES ostrel_des)
