# The release builds: small executables without debug information, whose
# symbols are kept beside them for reading a crash later. The floating-point
# rules of the top-level file and the i686 toolchain apply unchanged, so the
# synthesised block stays bit-identical to the tested builds.
if(NOT WIN32)
  message(FATAL_ERROR "QORVEL_RELEASE builds the Windows programs only")
endif()

# Every function and object in a section of its own, so that the linker can
# drop what nothing references. -g only feeds the split-off symbol file: it
# does not change the generated code.
add_compile_options(-ffunction-sections -fdata-sections -g)
add_link_options(-Wl,--gc-sections)
# Nothing in the programs asks for run-time type information (the exceptions
# they catch keep theirs), and whole-program optimisation drops what no
# program reaches across files. Neither changes the arithmetic: the
# floating-point options are recorded with each function.
add_compile_options(-fno-rtti)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
# The objects keep their ordinary code beside the optimiser's form, so that a
# program linked without link-time optimisation (qorvelctl) takes the same
# libraries whole, not a mix of the two forms, which the i686 linker refuses.
add_compile_options(-ffat-lto-objects)
set(CMAKE_POLICY_DEFAULT_CMP0069 NEW)  # also in the bundled test framework's files
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # The i686 programs leave out the C runtime's call-frame tables (see the
  # script): the 32-bit QorvelGen.exe fits its 150 KiB budget only so. Its
  # relocation table stays, and with it address-space randomisation.
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,-T,${CMAKE_CURRENT_LIST_DIR}/NoCFrameTables.ld")
endif()

# After each link: the symbols go to <file>.debug, the shipped file is
# stripped and keeps a debug link to them, by name, for a debugger that finds
# the .debug file beside it.
function(qorvel_split_symbols target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
