set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/logicstep.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_grid.cpp
)
