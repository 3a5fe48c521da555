# Fault scenarios (faults_e2e.py): the real INSTALL.EXE under Wine against
# faults made real for the test, in the e2e Wine session of CMakeLists.txt.
# Included from there; uses its variables (e2e_state, wine_env) and targets.

# A DLL to plant beside INSTALL.EXE, and the unhardened program that shows
# the plant would be loaded.
add_library(faults_planted_dll SHARED faults_planted_dll.c)
set_target_properties(faults_planted_dll PROPERTIES PREFIX "" OUTPUT_NAME "faults_planted")
target_link_options(faults_planted_dll PRIVATE -static-libgcc -s)
add_executable(faults_dll_probe faults_dll_probe.c)
target_link_libraries(faults_dll_probe PRIVATE user32)

set(faults_runner ${CMAKE_CURRENT_SOURCE_DIR}/faults_e2e.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${faults_runner})
execute_process(COMMAND ${Python3_EXECUTABLE} ${faults_runner} --list
                OUTPUT_VARIABLE faults_scenarios OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

foreach(scenario IN LISTS faults_scenarios)
  add_test(NAME e2e_${scenario}
           COMMAND ${Python3_EXECUTABLE} ${faults_runner}
                   --scenario ${scenario}
                   --env ${e2e_state}/env
                   --installer $<TARGET_FILE:${INSTALLER_EXE_TARGET}>
                   --driver $<TARGET_FILE:e2e_driver>
                   --notepad $<TARGET_FILE:e2e_notepad>
                   --directx $<TARGET_FILE:e2e_directx>
                   --sample-program $<TARGET_FILE:brackenvue_sample>
                   --planted-dll $<TARGET_FILE:faults_planted_dll>
                   --dll-probe $<TARGET_FILE:faults_dll_probe>
                   --objdump ${CMAKE_OBJDUMP})
  set_tests_properties(e2e_${scenario} PROPERTIES
                       FIXTURES_REQUIRED e2e_wine
                       RESOURCE_LOCK e2e_wine_prefix
                       SKIP_RETURN_CODE 77
                       TIMEOUT 300
                       LABELS "e2e;faults")
endforeach()
