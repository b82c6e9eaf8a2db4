# The installers, built with makensis from dist/ZUKcntrl.nsi as part of the product (with or
# without the tests):
#   32-bit tree: ZUKcntrl-<version>-x86-setup.exe, the 32-bit library only.
#   64-bit tree, given the 32-bit tree as ZUK_WIN32_BUILD_DIR, both libraries:
#     ZUKcntrl-<version>-setup.exe      a 32-bit installer: runs on 32- and 64-bit Windows
#     ZUKcntrl-<version>-x64-setup.exe  a 64-bit installer: 64-bit Windows only
# Each installer built is recorded (name, whether it carries both libraries) in the global property
# ZUK_INSTALLERS, from which tests/wine/install registers its tests.
find_program(ZUK_MAKENSIS makensis)
if(NOT ZUK_MAKENSIS)
  message(FATAL_ERROR "The installers need makensis: install the Debian package nsis "
                      "(scripts/lib.sh zuk_install_packages does)")
endif()

set(ZUK_SETUP_X86 ZUKcntrl-${PROJECT_VERSION}-x86-setup.exe)
set(ZUK_SETUP ZUKcntrl-${PROJECT_VERSION}-setup.exe)
set(ZUK_SETUP_X64 ZUKcntrl-${PROJECT_VERSION}-x64-setup.exe)

# zuk_add_installer(NAME WITH64 DEPENDS files... DEFINES makensis-defines...)
function(zuk_add_installer name with64)
  cmake_parse_arguments(ARG "" "" "DEPENDS;DEFINES" ${ARGN})
  set(setup ${PROJECT_BINARY_DIR}/bin/${name})
  set(sign "")
  if(ZUK_SIGNING)
    set(sign COMMAND sh ${ZUK_SIGN_SCRIPT} ${ZUK_SIGN_CERT} ${ZUK_SIGN_KEY} ${setup})
  endif()
  file(GLOB_RECURSE templates ${PROJECT_SOURCE_DIR}/dist/policy/*.admx ${PROJECT_SOURCE_DIR}/dist/policy/*.adml)
  add_custom_command(OUTPUT ${setup}
    COMMAND ${ZUK_MAKENSIS} -V2 ${ARG_DEFINES} -DZUK_VERSION=${PROJECT_VERSION}
            -DZUK_SOURCE=${PROJECT_SOURCE_DIR}
            -DZUK_OUTFILE=${setup} ${PROJECT_SOURCE_DIR}/dist/ZUKcntrl.nsi
    DEPENDS ${PROJECT_SOURCE_DIR}/dist/ZUKcntrl.nsi ${PROJECT_SOURCE_DIR}/dist/ZUKcntrl.ini
            ${PROJECT_SOURCE_DIR}/include/ZUKcntrl.h
            ${PROJECT_SOURCE_DIR}/LICENSE ${templates} ZUKcntrl ZUKCredProv zukcli zukcard ${ARG_DEPENDS}
    ${sign}
    COMMENT "Installer ${name}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER ${name} target)
  add_custom_target(zuk_installer_${target} ALL DEPENDS ${setup})
  set_property(GLOBAL APPEND PROPERTY ZUK_INSTALLERS "${name}:${with64}")
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  zuk_add_installer(${ZUK_SETUP_X86} OFF DEFINES -DZUK_BIN=${PROJECT_BINARY_DIR}/bin)
elseif(NOT ZUK_WIN32_BUILD_DIR)
  message(STATUS "No installers in this 64-bit tree: they carry the 32-bit library too; build the "
                 "32-bit tree first and name it with -DZUK_WIN32_BUILD_DIR=<dir>")
else()
  set(bin32 ${ZUK_WIN32_BUILD_DIR}/bin)
  set(files32 ${bin32}/ZUKcntrl.dll ${bin32}/ZUKCredProv.dll ${bin32}/zukcli.exe ${bin32}/zukcard.exe
              ${bin32}/libZUKcntrl.dll.a ${bin32}/ZUKcntrl.lib)
  set(defines -DZUK_BIN=${bin32} -DZUK_BIN64=${PROJECT_BINARY_DIR}/bin)
  zuk_add_installer(${ZUK_SETUP_X64} ON DEPENDS ${files32} DEFINES ${defines} -DZUK_STUB64)
  zuk_add_installer(${ZUK_SETUP} ON DEPENDS ${files32} DEFINES ${defines})
endif()

# The MSI packages, from the same files.
include(${CMAKE_CURRENT_LIST_DIR}/Msi.cmake)
