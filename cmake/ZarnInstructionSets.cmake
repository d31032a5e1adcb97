# Instruction sets: one test of the target processor for the whole tree,
# and one function that gives the files written for an instruction set
# (named _sse2.cpp, _avx2.cpp, _avx512.cpp) their flags; only those files get them.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  set(ZARN_X86 ON)
  # The x86 kernel files are in the build: code may refer to them.
  add_compile_definitions(ZARN_X86_KERNELS=1)
else()
  set(ZARN_X86 OFF)
endif()

# zarn_instruction_set_sources(TARGET sse2|avx2|avx2_fma|avx512 FILE...): adds the
# files to TARGET with that set's flags. Nothing happens off x86.
function(zarn_instruction_set_sources target set)
  if(NOT ZARN_X86)
    return()
  endif()
  if(set STREQUAL "sse2")
    set(flags -msse2)
  elseif(set STREQUAL "avx2")
    set(flags -mavx2)
  elseif(set STREQUAL "avx2_fma")
    set(flags -mavx2 -mfma)
  elseif(set STREQUAL "avx512")
    # The features of the avx512 level of base/cpu_features (F, BW, DQ, VL),
    # with AVX2 and FMA, which every such processor has.
    set(flags -mavx2 -mfma -mavx512f -mavx512bw -mavx512dq -mavx512vl)
  else()
    message(FATAL_ERROR "unknown instruction set ${set}")
  endif()
  target_sources(${target} PRIVATE ${ARGN})
  set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "${flags}")
endfunction()
