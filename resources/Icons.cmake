# orvane_add_icons(<target>)
# Paints the program's icons at build time (orvane_icon_painter) and compiles
# them into <target> as the resources ":/Resources/<name>.png".
set(ORVANE_ICON_NAMES
  shapes folder_page_white cancel
  play pause rewind freverse reverse forward fforward repeat
  camhome)
set(_orvane_icons_dir ${CMAKE_CURRENT_LIST_DIR})

function(orvane_add_icons target)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  if(NOT TARGET orvane_icon_painter)
    add_executable(orvane_icon_painter ${_orvane_icons_dir}/IconPainter.cpp)
    target_link_libraries(orvane_icon_painter PRIVATE Qt6::Gui)
    orvane_warnings(orvane_icon_painter)
  endif()
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/Resources)
  set(pngs)
  foreach(name ${ORVANE_ICON_NAMES})
    list(APPEND pngs ${folder}/${name}.png)
  endforeach()
  add_custom_command(OUTPUT ${pngs}
    COMMAND orvane_icon_painter ${folder} ${ORVANE_ICON_NAMES}
    DEPENDS orvane_icon_painter
    COMMENT "Painting the icons"
    VERBATIM)
  qt_add_resources(${target} orvane_icons
    PREFIX "/"
    BASE ${CMAKE_CURRENT_BINARY_DIR}
    FILES ${pngs})
endfunction()
