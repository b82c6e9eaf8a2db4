# The MSI packages, built with wixl (Debian msitools) from dist/msi/ZUKcntrl.wxs by
# dist/msi/build_msi.sh, from the same files as the setup programs (cmake/Installers.cmake):
#   32-bit tree: ZUKcntrl-<version>-x86.msi, the 32-bit library only.
#   64-bit tree, given the 32-bit tree as ZUK_WIN32_BUILD_DIR: ZUKcntrl-<version>-x64.msi, both
#     libraries (64-bit Windows only).
# Each package's custom actions (zukmsi.dll, dist/msi/zukmsi.cpp) are built by the tree of its
# bitness.  Each package built is recorded (name, whether it carries both libraries) in the global
# property ZUK_MSI_PACKAGES, from which tests/wine/msi registers its tests.
find_program(ZUK_WIXL wixl)
find_program(ZUK_MSIBUILD msibuild)
if(NOT ZUK_WIXL OR NOT ZUK_MSIBUILD)
  message(FATAL_ERROR "The MSI packages need wixl and msibuild: install the Debian packages wixl and "
                      "msitools (scripts/lib.sh zuk_install_packages does)")
endif()

set(ZUK_MSI_X86 ZUKcntrl-${PROJECT_VERSION}-x86.msi)
set(ZUK_MSI_X64 ZUKcntrl-${PROJECT_VERSION}-x64.msi)
set(ZUK_MSI_BUILD_SCRIPT ${PROJECT_SOURCE_DIR}/dist/msi/build_msi.sh)

# The custom actions: a DLL Windows Installer loads by its undecorated export names.
add_library(zukmsi SHARED ${PROJECT_SOURCE_DIR}/dist/msi/zukmsi.cpp)
target_compile_options(zukmsi PRIVATE ${ZUK_WARNINGS})
set_target_properties(zukmsi PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin/msi)
# The site key file is checked with the library's own reader (settings/site_keys.cpp, from the core).
target_include_directories(zukmsi PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zukmsi PRIVATE zuk_core msi advapi32)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(zukmsi PRIVATE -Wl,--kill-at)
endif()
zuk_release_binary(zukmsi)

# zuk_add_msi(NAME ARCH WITH64 BIN32 [BIN64] DEPENDS files...)
function(zuk_add_msi name arch with64 bin32)
  cmake_parse_arguments(ARG "" "BIN64" "DEPENDS" ${ARGN})
  set(msi ${PROJECT_BINARY_DIR}/bin/${name})
  set(sign "")
  if(ZUK_SIGNING)
    set(sign COMMAND sh ${ZUK_SIGN_SCRIPT} ${ZUK_SIGN_CERT} ${ZUK_SIGN_KEY} ${msi})
  endif()
  file(GLOB catalogue ${PROJECT_SOURCE_DIR}/dist/ZukLang*)
  file(GLOB_RECURSE templates ${PROJECT_SOURCE_DIR}/dist/policy/*.admx ${PROJECT_SOURCE_DIR}/dist/policy/*.adml)
  add_custom_command(OUTPUT ${msi}
    COMMAND sh ${ZUK_MSI_BUILD_SCRIPT} ${msi} ${PROJECT_VERSION} ${arch} ${PROJECT_SOURCE_DIR}
            $<TARGET_FILE:zukmsi> ${bin32} ${ARG_BIN64}
    ${sign}
    DEPENDS ${ZUK_MSI_BUILD_SCRIPT} ${PROJECT_SOURCE_DIR}/dist/msi/ZUKcntrl.wxs
            ${PROJECT_SOURCE_DIR}/dist/ZUKcntrl.ini ${catalogue} ${PROJECT_SOURCE_DIR}/include/ZUKcntrl.h
            ${PROJECT_SOURCE_DIR}/LICENSE ${templates} zukmsi ZUKcntrl ZUKCredProv zukcli zukcard ${ARG_DEPENDS}
    COMMENT "MSI package ${name}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER ${name} target)
  add_custom_target(zuk_msi_${target} ALL DEPENDS ${msi})
  set_property(GLOBAL APPEND PROPERTY ZUK_MSI_PACKAGES "${name}:${with64}")
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  zuk_add_msi(${ZUK_MSI_X86} x86 OFF ${PROJECT_BINARY_DIR}/bin)
elseif(ZUK_WIN32_BUILD_DIR)
  set(bin32 ${ZUK_WIN32_BUILD_DIR}/bin)
  zuk_add_msi(${ZUK_MSI_X64} x64 ON ${bin32} BIN64 ${PROJECT_BINARY_DIR}/bin
              DEPENDS ${bin32}/ZUKcntrl.dll ${bin32}/ZUKCredProv.dll ${bin32}/zukcli.exe ${bin32}/zukcard.exe
                      ${bin32}/libZUKcntrl.dll.a ${bin32}/ZUKcntrl.lib)
endif()
