# Fault scenarios (faults_e2e.py): the real INSTALL.EXE under Wine against
# faults made real for the test, in the e2e Wine session of CMakeLists.txt.
# Included from there; uses its function add_e2e_scenarios and its targets.

# A DLL to plant beside INSTALL.EXE, and the unhardened program that shows
# the plant would be loaded.
add_library(faults_planted_dll SHARED faults_planted_dll.c)
set_target_properties(faults_planted_dll PROPERTIES PREFIX "" OUTPUT_NAME "faults_planted")
target_link_options(faults_planted_dll PRIVATE -static-libgcc -s)
add_executable(faults_dll_probe faults_dll_probe.c)
target_link_libraries(faults_dll_probe PRIVATE user32)

add_e2e_scenarios(${CMAKE_CURRENT_SOURCE_DIR}/faults_e2e.py 300 "e2e;faults"
                  --planted-dll $<TARGET_FILE:faults_planted_dll>
                  --dll-probe $<TARGET_FILE:faults_dll_probe>)
