# mkmedium's scenarios (mkmedium_e2e.py): media made and checked by the Linux
# build of mkmedium, installed by the real INSTALL.EXE, one from a read-only
# CD-ROM drive. Included from CMakeLists.txt; uses its add_e2e_scenarios.
# Tells what Windows makes of the CD-ROM drive the scenario presents.
add_executable(mkmedium_drive_probe mkmedium_drive_probe.c)

add_e2e_scenarios(${CMAKE_CURRENT_SOURCE_DIR}/mkmedium_e2e.py 180 "e2e;mkmedium"
                  --mkmedium ${MKMEDIUM_HOST}
                  --drive-probe $<TARGET_FILE:mkmedium_drive_probe>
                  --sample-dir ${CMAKE_SOURCE_DIR}/sample)
