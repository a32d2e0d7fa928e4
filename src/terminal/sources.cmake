set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_send.cpp
)
