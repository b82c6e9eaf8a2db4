# Build constants: key material a deployment sets for its own readers.  Each is hexadecimal text,
# checked here so that a bad value stops the configure step instead of producing a library that
# cannot talk to its reader.
set(ZUK_INITIAL_KEYS
    "0123456789ABCDEF FEDCBA9876543210 0F1E2D3C4B5A6978"
    CACHE STRING "Initial reader channel key set: KA KB KC, 48 hexadecimal digits (spaces allowed)")
set(ZUK_OPERATIONAL_KEYS
    "1F2E3D4C5B6A7988 8899AABBCCDDEEFF 13579BDF02468ACE"
    CACHE STRING "Operational reader channel key set: KA KB KC, 48 hexadecimal digits (spaces allowed)")
set(ZUK_PASSWORD_MASK
    "9AF7F07F4BD59E9137B94254E61D207D EF36ACC4F303C6C5A4DB8ED3A5CE11B3 C072653BF189B134874AE008C9F1DDD2 EC645B094149FC8833FF3AA71AF11C2E"
    CACHE STRING "Mask of stored passwords: 64 bytes, 128 hexadecimal digits (spaces allowed)")

set(ZUK_READER_KEYS
    "C3A1 5E07 92D4 4B68 1F3A 90CE 27B5 D461 8A0F 6C13 E259 47BD 3E81 F605 A9C2 175D D08B 62F4 4E1A 93C7 B75E 208D 6A34 F1C9 0B7E 58A2 C61D 349F"
    CACHE STRING "Reader card key table: key groups of 16, 24, 8 and 8 bytes, 112 hexadecimal digits (spaces allowed)")

# The issuing station's reader key table: all eleven 8-byte slots, that is the library's table with
# the write keys of the account/password (slot 2), name/option (6), administrator (8) and spare (10)
# services filled.  Only zukcard.exe is built with it; the library never carries those slots.
set(ZUK_ISSUER_KEYS
    "C3A15E0792D44B68 1F3A90CE27B5D461 6B2E91D40C7A58F3 8A0F6C13E25947BD 3E81F605A9C2175D D08B62F44E1A93C7 A4D71E39C5827B06 B75E208D6A34F1C9 3F90E6C15A28D47B 0B7E58A2C61D349F C1B82D6F9E4307A5"
    CACHE STRING "Issuing station's reader key table: 11 slots of 8 bytes, 176 hexadecimal digits (spaces allowed)")

function(zuk_check_hex name digits)
  string(REPLACE ";" "" value "${${name}}")
  string(REPLACE " " "" value "${value}")
  string(LENGTH "${value}" len)
  if(NOT len EQUAL ${digits} OR NOT value MATCHES "^[0-9A-Fa-f]+$")
    message(FATAL_ERROR "${name} must be exactly ${digits} hexadecimal digits "
                        "(got ${len} characters: '${value}')")
  endif()
  # As a C initialiser: 0x01,0x23,...
  string(REGEX REPLACE "([0-9A-Fa-f][0-9A-Fa-f])" "0x\\1," bytes "${value}")
  string(REGEX REPLACE ",$" "" bytes "${bytes}")
  set(${name}_BYTES "${bytes}" PARENT_SCOPE)
  set(${name}_HEX "${value}" PARENT_SCOPE)
endfunction()

zuk_check_hex(ZUK_INITIAL_KEYS 48)
zuk_check_hex(ZUK_OPERATIONAL_KEYS 48)
zuk_check_hex(ZUK_PASSWORD_MASK 128)
zuk_check_hex(ZUK_READER_KEYS 112)
zuk_check_hex(ZUK_ISSUER_KEYS 176)

# The issuer table must agree with the library's table in the slots the library loads (0-1, 3-5, 7,
# 9), or the issued cards would not open with the library's keys, and must fill every write slot
# the library leaves empty (2, 6, 8, 10).
function(zuk_check_issuer_keys)
  string(SUBSTRING "${ZUK_READER_KEYS_HEX}" 0 32 group16)
  string(SUBSTRING "${ZUK_READER_KEYS_HEX}" 32 48 group24)
  string(SUBSTRING "${ZUK_READER_KEYS_HEX}" 80 16 group8a)
  string(SUBSTRING "${ZUK_READER_KEYS_HEX}" 96 16 group8b)
  string(SUBSTRING "${ZUK_ISSUER_KEYS_HEX}" 0 32 slots01)
  string(SUBSTRING "${ZUK_ISSUER_KEYS_HEX}" 48 48 slots345)
  string(SUBSTRING "${ZUK_ISSUER_KEYS_HEX}" 112 16 slot7)
  string(SUBSTRING "${ZUK_ISSUER_KEYS_HEX}" 144 16 slot9)
  foreach(pair "slots01;group16" "slots345;group24" "slot7;group8a" "slot9;group8b")
    list(GET pair 0 mine)
    list(GET pair 1 theirs)
    string(TOUPPER "${${mine}}" a)
    string(TOUPPER "${${theirs}}" b)
    if(NOT a STREQUAL b)
      message(FATAL_ERROR "ZUK_ISSUER_KEYS must carry ZUK_READER_KEYS in slots 0-1, 3-5, 7 and 9 "
                          "(${mine} is ${a}, the library's is ${b})")
    endif()
  endforeach()
  foreach(slot 2 6 8 10)
    math(EXPR at "${slot} * 16")
    string(SUBSTRING "${ZUK_ISSUER_KEYS_HEX}" ${at} 16 key)
    if(key MATCHES "^0+$")
      message(FATAL_ERROR "ZUK_ISSUER_KEYS leaves write slot ${slot} empty")
    endif()
  endforeach()
endfunction()
zuk_check_issuer_keys()

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/zuk_version.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_constants.h.in
               ${PROJECT_BINARY_DIR}/generated/zuk_build_constants.h @ONLY)
# A header of its own, so that nothing of the library includes the issuer's keys by accident.
configure_file(${CMAKE_CURRENT_LIST_DIR}/issuer_keys.h.in
               ${PROJECT_BINARY_DIR}/generated/zuk_issuer_keys.h @ONLY)
