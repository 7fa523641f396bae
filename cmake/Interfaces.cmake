# The interfaces' driver libraries, read from the one table of interfaces,
# dqabi::kLibraries in core/DriverAbi.h, whose rows each start on one line
# as {"<file name>", "<prefix>", InitForm::k<form>.
#   DQ_INTERFACE_PREFIXES     the library prefixes, by interface type
#   DQ_INTERFACE_INIT_FORMS   their Init forms, as numbers: 0 port or base,
#                             1 handle only, 2 LAN block
set(DQ_INTERFACE_TABLE ${PROJECT_SOURCE_DIR}/core/DriverAbi.h)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DQ_INTERFACE_TABLE})
set(DQ_INIT_FORM_NAMES PortOrBase Plain Block)
set(row_pattern "\"([A-Za-z0-9_]+)\\.DLL\", \"([A-Za-z0-9_]+)\", InitForm::k([A-Za-z]+)")
file(STRINGS ${DQ_INTERFACE_TABLE} rows REGEX "^ *{${row_pattern}")
set(DQ_INTERFACE_PREFIXES)
set(DQ_INTERFACE_INIT_FORMS)
foreach(row ${rows})
  string(REGEX MATCH "${row_pattern}" matched "${row}")
  if(NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
    message(FATAL_ERROR "Interface row ${row}: the file name is not the prefix and .DLL")
  endif()
  list(FIND DQ_INIT_FORM_NAMES ${CMAKE_MATCH_3} form)
  if(form LESS 0)
    message(FATAL_ERROR "Interface row ${row}: unknown Init form ${CMAKE_MATCH_3}")
  endif()
  list(APPEND DQ_INTERFACE_PREFIXES ${CMAKE_MATCH_2})
  list(APPEND DQ_INTERFACE_INIT_FORMS ${form})
endforeach()
list(LENGTH DQ_INTERFACE_PREFIXES count)
if(count EQUAL 0)
  message(FATAL_ERROR "No interface rows found in ${DQ_INTERFACE_TABLE}")
endif()
