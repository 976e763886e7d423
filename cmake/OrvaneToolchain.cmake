# Compile-time helpers: ccache when present, lld as the linker.
find_program(ORVANE_CCACHE ccache)
if(ORVANE_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${ORVANE_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${ORVANE_CCACHE})
endif()

find_program(ORVANE_LLD ld.lld)
if(ORVANE_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# Sanitizer builds: -DORVANE_SANITIZE=thread or address,undefined
set(ORVANE_SANITIZE "" CACHE STRING "Sanitizers to build with (thread, address,undefined)")
if(ORVANE_SANITIZE)
  add_compile_options(-fsanitize=${ORVANE_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${ORVANE_SANITIZE})
endif()
