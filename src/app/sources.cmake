set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/gbk.cpp ${_d}/gbk.h
  ${_d}/sleep2.cpp ${_d}/sleep2.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/dialogs.cpp ${_d}/dialogs.h
  ${_d}/widgets.cpp ${_d}/widgets.h
  ${_d}/relay.cpp ${_d}/relay.h
  ${_d}/frmhelp.cpp ${_d}/frmhelp.h
)
