# Release packaging of the Windows programs: the debug information moves into a separate file
# next to the program (NAME.debug, found by debuggers through a debug link), and, when the build is
# given a code-signing certificate and key, the program is signed.
#   cmake -DZUK_SIGN_CERT=cert.pem -DZUK_SIGN_KEY=key.pem ...   (or the same environment variables)
set(ZUK_SIGN_CERT "$ENV{ZUK_SIGN_CERT}" CACHE FILEPATH "Code-signing certificate (PEM); empty: no signing")
set(ZUK_SIGN_KEY "$ENV{ZUK_SIGN_KEY}" CACHE FILEPATH "Private key of ZUK_SIGN_CERT (PEM)")
if(ZUK_SIGN_CERT OR ZUK_SIGN_KEY)
  if(NOT ZUK_SIGN_CERT OR NOT ZUK_SIGN_KEY)
    message(FATAL_ERROR "signing needs both ZUK_SIGN_CERT and ZUK_SIGN_KEY")
  endif()
  find_program(ZUK_OSSLSIGNCODE osslsigncode REQUIRED)
  set(ZUK_SIGNING ON)
else()
  set(ZUK_SIGNING OFF)
endif()
set(ZUK_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/sign.sh)

if(CMAKE_OBJCOPY)
  set(ZUK_OBJCOPY ${CMAKE_OBJCOPY})
else()
  find_program(ZUK_OBJCOPY NAMES i686-w64-mingw32-objcopy REQUIRED)
endif()

# After each link: NAME.debug keeps the debug sections and symbols, NAME is stripped of both and
# links to it, then NAME is signed when signing is on.
function(zuk_release_binary target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${ZUK_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${ZUK_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Debug information of ${target} into its .debug file"
    VERBATIM)
  if(ZUK_SIGNING)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND sh ${ZUK_SIGN_SCRIPT} ${ZUK_SIGN_CERT} ${ZUK_SIGN_KEY} $<TARGET_FILE:${target}>
      COMMENT "Signing ${target}"
      VERBATIM)
  endif()
endfunction()
