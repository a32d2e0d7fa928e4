set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/devicestate.cpp ${_d}/devicestate.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/devicestatus.cpp ${_d}/devicestatus.h
)
