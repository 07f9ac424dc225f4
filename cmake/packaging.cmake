# Release packages, named after the project version: the Windows Installer package (built on
# Linux with wixl from packaging/vistrel.wxs) and the portable zip, both in build/windows/dist.
# `cmake --build --preset windows --target dist` builds them; the default build does too once
# the tools are installed (scripts/deps.sh installs them).
find_program(VISTREL_WIXL wixl)
find_program(VISTREL_MSIBUILD msibuild)
find_program(VISTREL_ZIP zip)
set(VISTREL_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(VISTREL_MSI ${VISTREL_DIST_DIR}/vistrel-${PROJECT_VERSION}-x64.msi)
set(VISTREL_PORTABLE_ZIP ${VISTREL_DIST_DIR}/vistrel-${PROJECT_VERSION}-x64-portable.zip)

if(VISTREL_WIXL AND VISTREL_MSIBUILD AND VISTREL_ZIP)
  add_custom_command(OUTPUT ${VISTREL_MSI} ${VISTREL_PORTABLE_ZIP}
    COMMAND ${CMAKE_SOURCE_DIR}/packaging/build-packages.sh $<TARGET_FILE:vistrel>
            ${CMAKE_SOURCE_DIR}/resources/vistrel.ico ${PROJECT_VERSION} ${VISTREL_DIST_DIR}
            $<TARGET_FILE:heif> $<TARGET_FILE:de265>
            ${VISTREL_LIBHEIF_SOURCE}/COPYING ${VISTREL_LIBDE265_SOURCE}/COPYING
    DEPENDS vistrel heif de265 packaging/vistrel.wxs packaging/build-packages.sh packaging/portable-readme.txt
            resources/vistrel.ico
    COMMENT "Packaging Vistrel ${PROJECT_VERSION}: installer and portable zip"
    VERBATIM)
  add_custom_target(dist ALL DEPENDS ${VISTREL_MSI} ${VISTREL_PORTABLE_ZIP})
else()
  message(WARNING "wixl, msibuild or zip not found: the dist target cannot build the packages "
                  "(scripts/deps.sh installs them)")
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E echo "wixl, msibuild or zip is missing: run scripts/deps.sh"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()

# Installs the package into a Wine prefix of its own, opens a picture through what it registered,
# uninstalls it and checks what is left. It brings its own Xvfb, so it shares no screen.
add_test(NAME installer_scenario
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/install/installer_scenario.py
          --source ${CMAKE_SOURCE_DIR} --build ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION})
set_tests_properties(installer_scenario PROPERTIES TIMEOUT 420)
