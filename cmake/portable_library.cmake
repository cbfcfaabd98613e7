# The portable core: the rule record and array, IP texts, the rule file and
# matching. Plain C++ without Windows headers apart from the file calls,
# which come from file_access_win32.cpp for Windows and file_access_posix.cpp
# for native builds. The module's build and the native build both make it
# from this one list.
get_filename_component(TORVO_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

set(TORVO_PORTABLE_SOURCES
  ${TORVO_SOURCE_ROOT}/rules/rule_array.cpp
  ${TORVO_SOURCE_ROOT}/rules/ip_pattern.cpp
  ${TORVO_SOURCE_ROOT}/rules/file_replace.cpp
  ${TORVO_SOURCE_ROOT}/rules/rule_file.cpp
  ${TORVO_SOURCE_ROOT}/rules/kept_versions.cpp
  ${TORVO_SOURCE_ROOT}/rules/rule_file_reading.cpp
  ${TORVO_SOURCE_ROOT}/rules/rule_edits.cpp
  ${TORVO_SOURCE_ROOT}/rules/rule_memo.cpp
  ${TORVO_SOURCE_ROOT}/matching/matching.cpp
  ${TORVO_SOURCE_ROOT}/matching/rule_pick.cpp
  ${TORVO_SOURCE_ROOT}/matching/rule_index.cpp)
if(WIN32)
  list(APPEND TORVO_PORTABLE_SOURCES ${TORVO_SOURCE_ROOT}/rules/file_access_win32.cpp)
else()
  list(APPEND TORVO_PORTABLE_SOURCES ${TORVO_SOURCE_ROOT}/rules/file_access_posix.cpp)
endif()

# torvo_portable_library(NAME): a static library NAME of the portable core.
function(torvo_portable_library name)
  add_library(${name} STATIC ${TORVO_PORTABLE_SOURCES})
  target_include_directories(${name} PUBLIC ${TORVO_SOURCE_ROOT})
endfunction()

# The rule lists as operators read and write them (lists/): the exported
# table and plain lists, nickname and address entries, the checks, the
# optimizer and the explanation of a visitor's picks. Portable like the core
# it stands on; the tool links it, and so can the module. Every source in
# lists/ belongs to it, as every source in editor/ to the module.
file(GLOB TORVO_RULE_LISTS_SOURCES CONFIGURE_DEPENDS ${TORVO_SOURCE_ROOT}/lists/*.cpp)

# torvo_rule_lists_library(NAME CORE): a static library NAME of lists/ on
# the portable core library CORE.
function(torvo_rule_lists_library name core)
  add_library(${name} STATIC ${TORVO_RULE_LISTS_SOURCES})
  target_include_directories(${name} PUBLIC ${TORVO_SOURCE_ROOT})
  target_link_libraries(${name} PUBLIC ${core})
endfunction()
