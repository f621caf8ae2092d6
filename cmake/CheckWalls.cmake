# The layering of the sources, checked at every build: base <- platform <- zip
# <- props <- localtext <- engine <- cli, ui <- app, and inside props the walls
# between the kinds (compound files with their container and property-set
# format, packages, OpenDocument) and what they share. Only
# localtext and above see the locale's text. A forbidden
# include, or a source file over 600 lines, fails the build.
#   cmake -DQV_SOURCE_DIR=<src> -DQV_STAMP=<file> -P CheckWalls.cmake

# folder (as in #include "folder/...") | what its files may include
set(QV_WALLS
  "base|base"
  "platform|base platform"
  "zip|base platform zip"
  "props/compound/cfb|base platform props/compound/cfb"
  "props/compound/propset|base platform props/compound/propset"
  "props/compound|base platform props/compound props/catalogue.h props/metadata.h props/datetime.h props/custom_edits.h"
  "props/package|base platform zip props/package props/catalogue.h props/metadata.h props/datetime.h props/custom_edits.h"
  "props/odf|base platform zip props/odf props/package/xml_part.h props/catalogue.h props/metadata.h props/datetime.h props/custom_edits.h"
  "props|base platform zip props"
  "localtext|base platform localtext props/catalogue.h props/metadata.h props/datetime.h"
  "engine|base platform engine localtext props/catalogue.h props/metadata.h props/datetime.h props/filestamp.h props/backend.h"
  "cli|base platform engine cli localtext props/catalogue.h props/metadata.h props/datetime.h props/filestamp.h"
  "ui|base platform engine ui ui_ localtext props/catalogue.h props/metadata.h props/datetime.h props/filestamp.h"
  "app|base platform engine ui app localtext props/catalogue.h props/datetime.h")

set(problems "")
foreach(wall ${QV_WALLS})
  string(REPLACE "|" ";" parts "${wall}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
  if(folder STREQUAL "props")
    file(GLOB files "${QV_SOURCE_DIR}/props/*.h" "${QV_SOURCE_DIR}/props/*.cpp")
  else()
    file(GLOB_RECURSE files "${QV_SOURCE_DIR}/${folder}/*.h" "${QV_SOURCE_DIR}/${folder}/*.cpp")
  endif()
  foreach(f ${files})
    file(READ "${f}" content)
    string(REGEX REPLACE "[^\n]" "" newlines "${content}")
    string(LENGTH "${newlines}" count)
    if(count GREATER 600)
      string(APPEND problems "  ${f}: ${count} lines (at most 600)\n")
    endif()
    file(STRINGS "${f}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" target "${line}")
      # Headers beside the source ("wide.h") are its own folder's.
      if(NOT target MATCHES "/" AND NOT target MATCHES "^ui_")
        continue()
      endif()
      set(ok FALSE)
      foreach(a ${allowed})
        if(a MATCHES "\\.h$")
          if(target STREQUAL a)
            set(ok TRUE)
          endif()
        elseif(a STREQUAL "ui_")
          if(target MATCHES "^ui_")
            set(ok TRUE)
          endif()
        else()
          string(LENGTH "${a}/" n)
          string(SUBSTRING "${target}" 0 ${n} head)
          if(head STREQUAL "${a}/")
            set(ok TRUE)
          endif()
        endif()
      endforeach()
      if(NOT ok)
        string(APPEND problems "  ${f}: includes \"${target}\", which ${folder}/ may not\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "The layering of the sources is broken:\n${problems}")
endif()
if(QV_STAMP)
  file(TOUCH "${QV_STAMP}")
endif()
