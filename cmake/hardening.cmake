# The hardening of the program's builds, as Debian hardens the programs it
# ships: code that can be loaded at any address (the program stays static,
# but position-independent: -static-pie), stack protectors, fortified calls
# of the C library, probes of large stack frames, control-flow protection,
# relocations read-only and bound at start (relro, now), and a stack that
# is not executable. On Windows: address-space randomisation with high
# entropy, data execution prevention and stack protectors.
#
# enpanel_hardening carries the flags to every target that links a layer of
# the program (the benchmarks' baselines stay as they were). Flags the
# environment gives (CXXFLAGS, LDFLAGS, as dpkg-buildflags sets them) reach
# CMAKE_CXX_FLAGS and CMAKE_EXE_LINKER_FLAGS, which are never set here: these
# come after them and add to them. A fortify level the environment chose
# stands.
option(ENPANEL_HARDEN "Harden the builds (position-independent, stack protector, fortify, ...)" ON)
add_library(enpanel_hardening INTERFACE)
# Paths of the source and build folders kept out of the objects, so that two
# checkouts in different folders build the same bytes.
target_compile_options(enpanel_hardening INTERFACE
                       -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                       -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
if(NOT ENPANEL_HARDEN)
  return()
endif()

if(WIN32)
  target_compile_options(enpanel_hardening INTERFACE -fstack-protector-strong)
  target_link_options(enpanel_hardening INTERFACE -fstack-protector-strong -Wl,--dynamicbase
                      -Wl,--high-entropy-va -Wl,--nxcompat)
  return()
endif()

target_compile_options(enpanel_hardening INTERFACE -fPIE -fstack-protector-strong
                       -fstack-clash-protection -fcf-protection)
# An executable that sets ENPANEL_STATIC_PIE is linked static and
# position-independent, every other one as a position-independent program.
target_link_options(enpanel_hardening INTERFACE
                    "$<IF:$<BOOL:$<TARGET_PROPERTY:ENPANEL_STATIC_PIE>>,-static-pie,-pie>"
                    -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
# The C library fortifies only optimised code, and the sanitizers check what
# it would check, in their own way.
if(NOT ENPANEL_SANITIZE AND NOT ENPANEL_FUZZ AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE"
   AND NOT CMAKE_C_FLAGS MATCHES "_FORTIFY_SOURCE")
  target_compile_definitions(enpanel_hardening INTERFACE
                             $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=3>)
endif()
