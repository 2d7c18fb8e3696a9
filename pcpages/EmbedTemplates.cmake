# Writes OUT, a C++ source holding the templates of DIR as string constants.
# Run as: cmake -DDIR=... -DOUT=... -P EmbedTemplates.cmake
set(names
  album-frame.htm       kAlbumFrame
  album-thumbs.htm      kAlbumThumbs
  album-thumb-entry.htm kAlbumThumbEntry
  album-view.htm        kAlbumView
  show-frame.htm        kShowFrame
  show-music.htm        kShowMusic
  show-running.htm      kShowRunning
  show-paused.htm       kShowPaused
  menu.htm              kMenu)
set(text "// Generated from data/pcpages/templates by EmbedTemplates.cmake.\n#include \"pcpages/Templates.h\"\n\nnamespace vexa::pcpages::templates {\n")
list(LENGTH names n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET names ${i} file)
  list(GET names ${j} symbol)
  file(READ ${DIR}/${file} body)
  string(FIND "${body}" ")VEXAPC_TEMPLATE" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} contains the raw-string delimiter")
  endif()
  string(APPEND text "\nconst std::string_view ${symbol} = R\"VEXAPC_TEMPLATE(${body})VEXAPC_TEMPLATE\";\n")
endforeach()
string(APPEND text "\n}  // namespace vexa::pcpages::templates\n")
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
