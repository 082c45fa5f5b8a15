# Checks what the shipped module says about its symbols: no symbol table and no DWARF in the
# module itself, no time stamp, and one CodeView debug directory entry that names only the PDB's
# file (no build folder) with the GUID and age of the PDB built beside it. A debugger or crash
# logger takes a PDB only when GUID and age match; a module naming a build folder would also
# differ between two checkouts of the same sources.
#
#   cmake -DREADOBJ=<llvm-readobj> -DPDBUTIL=<llvm-pdbutil> -DMODULE=<Fraywick.asi>
#         -DPDB=<Fraywick.pdb> -P CheckPluginSymbols.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required READOBJ PDBUTIL MODULE PDB)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckPluginSymbols: -D${required}=... is required")
  endif()
endforeach()

function(run out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output ERROR_VARIABLE errors
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "CheckPluginSymbols: ${ARGN} failed: ${errors}")
  endif()
  set(${out} "${output}" PARENT_SCOPE)
endfunction()

run(module_text ${READOBJ} --file-headers --sections --coff-debug-directory ${MODULE})
run(pdb_text ${PDBUTIL} dump -summary ${PDB})
cmake_path(GET PDB FILENAME pdb_name)

set(problems)
function(expect text pattern what)
  if(NOT text MATCHES "${pattern}")
    set(problems ${problems} "${what}" PARENT_SCOPE)
  endif()
endfunction()

# A symbol table takes both fields; the long names of DWARF sections would need its string part.
expect("${module_text}" "\n  PointerToSymbolTable: 0x0\n" "the module has a symbol table")
expect("${module_text}" "\n  SymbolCount: 0\n" "the module has symbols")
if(module_text MATCHES "Name: (\\.debug_[a-z_]+)")
  list(APPEND problems "the module carries DWARF debug info (${CMAKE_MATCH_1})")
endif()
expect("${module_text}" "ImageFileHeader {[^}]*TimeDateStamp: [^\n]*\\(0x0\\)"
       "the module's header carries a time stamp")

string(REGEX MATCHALL "DebugEntry {" entries "${module_text}")
list(LENGTH entries entry_count)
if(NOT entry_count EQUAL 1)
  list(APPEND problems "the module has ${entry_count} debug directory entries, not one")
endif()
expect("${module_text}" "Type: CodeView \\(0x2\\)" "the debug directory entry is not CodeView")
expect("${module_text}" "DebugEntry {[^}]*TimeDateStamp: [^\n]*\\(0x0\\)"
       "the debug directory entry carries a time stamp")
if(module_text MATCHES "PDBFileName: ([^\n]*)\n")
  set(named "${CMAKE_MATCH_1}")
  if(NOT named STREQUAL pdb_name)
    list(APPEND problems "the module names its PDB '${named}', not '${pdb_name}' alone")
  endif()
else()
  list(APPEND problems "the module names no PDB")
endif()

# The module holds the GUID as its 16 bytes. llvm-readobj 19 prints it as a GUID, as the PDB
# does; 16 prints the bytes, and a GUID's first three fields are those bytes little-endian.
if(module_text MATCHES "PDBGUID: ({[0-9A-F-]+})\n *PDBAge: ([0-9]+)")
  set(module_guid "${CMAKE_MATCH_1}")
  set(module_age "${CMAKE_MATCH_2}")
elseif(module_text MATCHES "PDBGUID: \\(([0-9A-F ]+)\\)\n *PDBAge: ([0-9]+)")
  set(module_age "${CMAKE_MATCH_2}")
  string(REPLACE " " ";" b "${CMAKE_MATCH_1}")
  list(GET b 3 2 1 0 d1)
  list(GET b 5 4 d2)
  list(GET b 7 6 d3)
  list(GET b 8 9 d4)
  list(SUBLIST b 10 6 d5)
  string(CONCAT module_guid "{" ${d1} "-" ${d2} "-" ${d3} "-" ${d4} "-" ${d5} "}")
  string(REPLACE ";" "" module_guid "${module_guid}")
else()
  list(APPEND problems "the module has no PDB GUID and age")
endif()
if(pdb_text MATCHES "\n *Age: ([0-9]+)\n *GUID: ({[0-9A-F-]+})")
  set(pdb_age "${CMAKE_MATCH_1}")
  set(pdb_guid "${CMAKE_MATCH_2}")
else()
  list(APPEND problems "${PDB} shows no GUID and age")
endif()
if(NOT "${module_guid} ${module_age}" STREQUAL "${pdb_guid} ${pdb_age}")
  string(CONCAT problem "the module expects PDB ${module_guid} age ${module_age}; "
                "${pdb_name} is ${pdb_guid} age ${pdb_age}")
  list(APPEND problems "${problem}")
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "${MODULE}: no symbol table, no DWARF, no time stamp; "
               "names ${pdb_name} ${pdb_guid} age ${pdb_age}, which is the PDB beside it")
