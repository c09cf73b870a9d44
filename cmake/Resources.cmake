# Resources embedded in a module, the module's anchor, and product versions.
#
# lum_add_resources(<target> <manifest>)
#   Embeds the resources the manifest lists into <target> and registers them,
#   when the module is loaded, under the module's handle. Also defines the
#   module's anchor (lum_module_anchor), so a target uses either this or
#   lum_module, never both.
#
#   Manifest: one resource a line, "TYPE ID FILE"; blank lines and lines
#   starting with '#' are skipped.
#     TYPE  a number (2), one of the standard names BITMAP (2), ICON (3),
#           MENU (4), DIALOG (5), STRING (6), HTML (23), TOOLBAR (241), or any
#           other name, which is a text type ("PNG", "gif", "WAV"; compared
#           without regard to case). A name in double quotes is always a text
#           type ("HTML" is the text type HTML, not number 23).
#     ID    a number (13000) or a name of letters, digits, '_', '.', '-'.
#     FILE  the file whose bytes are the resource, relative to the manifest's
#           folder (may contain spaces). For STRING the rest of the line is
#           the text itself (UTF-8), optionally in double quotes to keep
#           leading or trailing spaces.
#   Example:
#     PNG     13000  close.png
#     BITMAP  13008  menu_icons.png
#     STRING  103    Windows 套接字初始化失败。
#
#   The C++ source is generated at build time from the files, so editing a
#   file rebuilds the module; editing the manifest re-runs CMake.
#
# lum_module(<target>)
#   Defines only the anchor, for a module without resources that still asks
#   for its own instance handle (AfxGetInstanceHandle).
#
# lum_product_version(<target> <version>)
#   Writes the product version (e.g. 1.0.0.3) into the section ".lum_version"
#   of the target's file, where GetFileVersionInfo reads it without loading
#   the file.
#
# This file also runs as a script (cmake -P) to generate a module's resource
# source; the build calls it that way.

set(_LUM_RESOURCES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

# Parses one manifest into parallel lists in the caller's scope:
# <prefix>_TYPES, <prefix>_NAMES (C++ expressions), <prefix>_KINDS ("file" or
# "text"), <prefix>_VALUES (absolute file path, or the text in hex).
function(_lum_parse_manifest manifest prefix)
  get_filename_component(dir "${manifest}" DIRECTORY)
  file(STRINGS "${manifest}" lines ENCODING UTF-8)
  set(types "")
  set(names "")
  set(kinds "")
  set(values "")
  set(lineno 0)
  foreach(line IN LISTS lines)
    math(EXPR lineno "${lineno} + 1")
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(NOT line MATCHES "^([^ \t]+)[ \t]+([^ \t]+)[ \t]+(.+)$")
      message(FATAL_ERROR "${manifest}:${lineno}: expected \"TYPE ID FILE\": ${line}")
    endif()
    set(type "${CMAKE_MATCH_1}")
    set(id "${CMAKE_MATCH_2}")
    set(rest "${CMAKE_MATCH_3}")

    string(TOUPPER "${type}" upper)
    set(standard_BITMAP 2)
    set(standard_ICON 3)
    set(standard_MENU 4)
    set(standard_DIALOG 5)
    set(standard_STRING 6)
    set(standard_HTML 23)
    set(standard_TOOLBAR 241)
    if(type MATCHES "^[0-9]+$")
      set(type_number "${type}")
    elseif(DEFINED standard_${upper} AND NOT type MATCHES "^\"")
      set(type_number "${standard_${upper}}")
    else()
      set(type_number "")
      if(type MATCHES "^\"(.+)\"$")
        set(type "${CMAKE_MATCH_1}")
      endif()
      if(NOT type MATCHES "^[A-Za-z0-9_.-]+$")
        message(FATAL_ERROR "${manifest}:${lineno}: bad resource type \"${type}\"")
      endif()
    endif()
    if(NOT type_number STREQUAL "")
      if(type_number GREATER 65535)
        message(FATAL_ERROR "${manifest}:${lineno}: resource type ${type_number} is above 65535")
      endif()
      list(APPEND types "MAKEINTRESOURCE(${type_number})")
    else()
      list(APPEND types "\"${type}\"")
    endif()

    if(id MATCHES "^[0-9]+$")
      if(id GREATER 65535)
        message(FATAL_ERROR "${manifest}:${lineno}: resource id ${id} is above 65535")
      endif()
      list(APPEND names "MAKEINTRESOURCE(${id})")
    elseif(id MATCHES "^[A-Za-z_][A-Za-z0-9_.-]*$")
      list(APPEND names "\"${id}\"")
    else()
      message(FATAL_ERROR "${manifest}:${lineno}: bad resource id \"${id}\"")
    endif()

    if(type_number STREQUAL "6")
      if(rest MATCHES "^\"(.*)\"$")
        set(rest "${CMAKE_MATCH_1}")
      endif()
      string(HEX "${rest}" hex)
      list(APPEND kinds "text")
      list(APPEND values "${hex}")
    else()
      get_filename_component(path "${rest}" ABSOLUTE BASE_DIR "${dir}")
      list(APPEND kinds "file")
      list(APPEND values "${path}")
    endif()
  endforeach()
  set(${prefix}_TYPES "${types}" PARENT_SCOPE)
  set(${prefix}_NAMES "${names}" PARENT_SCOPE)
  set(${prefix}_KINDS "${kinds}" PARENT_SCOPE)
  set(${prefix}_VALUES "${values}" PARENT_SCOPE)
endfunction()

# The anchor definition every generated module source starts with.
set(_LUM_ANCHOR_SOURCE
"#include \"platform/resources.h\"

// This module's anchor: its address tells the module's handle.
extern \"C\" __attribute__((visibility(\"hidden\"))) const char lum_module_anchor = 0;
")

# Writes the C++ source that embeds and registers the manifest's resources.
function(_lum_generate_resources manifest output)
  _lum_parse_manifest("${manifest}" R)
  set(arrays "")
  set(calls "")
  list(LENGTH R_TYPES count)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      list(GET R_TYPES ${i} type)
      list(GET R_NAMES ${i} name)
      list(GET R_KINDS ${i} kind)
      list(GET R_VALUES ${i} value)
      if(kind STREQUAL "file")
        if(NOT EXISTS "${value}")
          message(FATAL_ERROR "${manifest}: resource file ${value} does not exist")
        endif()
        file(READ "${value}" hex HEX)
      else()
        set(hex "${value}")
      endif()
      string(LENGTH "${hex}" hexlength)
      math(EXPR size "${hexlength} / 2")
      # 32 bytes a line; a terminating zero (not counted in the size) keeps
      # the array non-empty and lets text resources be read as C strings.
      string(REGEX REPLACE "(................................................................)" "\\1\n" hex "${hex}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
      string(APPEND arrays "const unsigned char resource${i}[] = {\n${hex}0x00};\n")
      string(APPEND calls
        "        RegisterEmbeddedResource(&lum_module_anchor, ${type}, ${name}, resource${i}, ${size});\n")
    endforeach()
  endif()
  file(WRITE "${output}.tmp"
"// Generated by lum_add_resources from ${manifest}; do not edit.
${_LUM_ANCHOR_SOURCE}
namespace {

${arrays}
// Registers the resources when the module is loaded and forgets them when it
// is unloaded.
struct Registration {
    Registration()
    {
${calls}    }
    ~Registration() { UnregisterEmbeddedResources(&lum_module_anchor); }
} registration;

}  // namespace
")
  file(COPY_FILE "${output}.tmp" "${output}" ONLY_IF_DIFFERENT)
  file(REMOVE "${output}.tmp")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  # cmake -DMANIFEST=... -DOUTPUT=... -P Resources.cmake
  _lum_generate_resources("${MANIFEST}" "${OUTPUT}")
  return()
endif()

function(lum_add_resources target manifest)
  get_filename_component(manifest "${manifest}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT EXISTS "${manifest}")
    get_filename_component(manifest "${ARGV1}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
  endif()
  if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "lum_add_resources(${target}): manifest ${ARGV1} not found")
  endif()
  # A new or removed line changes what the build depends on.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${manifest}")
  _lum_parse_manifest("${manifest}" R)
  set(files "")
  foreach(kind value IN ZIP_LISTS R_KINDS R_VALUES)
    if(kind STREQUAL "file")
      list(APPEND files "${value}")
    endif()
  endforeach()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DMANIFEST=${manifest}" "-DOUTPUT=${output}" -P "${_LUM_RESOURCES_SCRIPT}"
    DEPENDS "${manifest}" "${_LUM_RESOURCES_SCRIPT}" ${files}
    COMMENT "Embedding the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
endfunction()

function(lum_module target)
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_module.cpp")
  file(CONFIGURE OUTPUT "${output}" CONTENT
"// Generated by lum_module; do not edit.
${_LUM_ANCHOR_SOURCE}" @ONLY)
  target_sources(${target} PRIVATE "${output}")
endfunction()

function(lum_product_version target version)
  if(NOT version MATCHES "^[A-Za-z0-9_.-]+$")
    message(FATAL_ERROR "lum_product_version(${target}): bad version \"${version}\"")
  endif()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.cpp")
  # Layout read by platform/version.cpp: "LUMV", language and code page
  # (16 bits each, in the machine's byte order), the version text and its
  # terminating zero. Language 0x0804 with the Unicode code page 1200.
  file(CONFIGURE OUTPUT "${output}" CONTENT
"// Generated by lum_product_version; do not edit.
namespace {

struct VersionRecord {
    char magic[4];
    unsigned short language;
    unsigned short codePage;
    char productVersion[sizeof(\"@version@\")];
};

__attribute__((used, section(\".lum_version\"))) const VersionRecord versionRecord = {
    {'L', 'U', 'M', 'V'}, 0x0804, 0x04b0, \"@version@\"};

}  // namespace
" @ONLY)
  target_sources(${target} PRIVATE "${output}")
endfunction()
