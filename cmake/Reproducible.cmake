# The program's bytes depend on its sources only: the same commit, built in any
# directory at any time, gives the same executable.

# No source or build directory in __FILE__ or in debug information. The build
# tree comes last so that it wins where it lies inside the source tree.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)

# ld stamps the PE header with the link time unless told not to; this leaves
# TimeDateStamp 0.
add_link_options(-Wl,--no-insert-timestamp)

# Static archives with zero time stamps, owners and modes, whatever default
# binutils was built with.
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
