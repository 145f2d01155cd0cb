# Run as a script: cmake -DFILES=a;b;... (or -DFILES_IN=a file holding that
# list) [-DSTAMP=file] -P relative_includes.cmake
#
# A quoted include is looked for beside the including file before the
# include folders, so "../page/x.h" would reach another layer's header
# behind the layers' backs. Any quoted include that climbs out of the
# including file's folder ("..") fails here, naming the file and line; the
# build runs this over every source.
if(FILES_IN)
  file(READ "${FILES_IN}" FILES)
endif()
set(found "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(line MATCHES "\"([^\"]*)\"" AND CMAKE_MATCH_1 MATCHES "(^|/)\\.\\.(/|$)")
      string(APPEND found "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "an include leaves its layer by a relative path:${found}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
