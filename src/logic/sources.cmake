set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/logicstep.h
  ${_d}/namesfile.h
  ${_d}/namesfile.cpp
  ${_d}/programfile.h
  ${_d}/programfile.cpp
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_grid.cpp
  ${_d}/relay_download.cpp
  ${_d}/relay_names.cpp
  ${_d}/editform.h
  ${_d}/editform.cpp
)
