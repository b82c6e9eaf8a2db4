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

configure_file(${CMAKE_CURRENT_LIST_DIR}/build_constants.h.in
               ${PROJECT_BINARY_DIR}/generated/zuk_build_constants.h @ONLY)
