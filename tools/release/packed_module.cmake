# What both release checks ask of a module in their zip: the module and its PDB are the ones
# built, and the PDB is the one the module names (GUID and age), so that crash loggers and
# debuggers take it. The including script defines fail(message).
#
#   check_packed_module(<unpacked zip> <module's file name> <built module> <built PDB> <LLVM bin>)
function(check_packed_module work name module pdb llvm_bin)
  cmake_path(REPLACE_EXTENSION name LAST_ONLY .pdb OUTPUT_VARIABLE pdb_name)
  foreach(pair "${name}=${module}" "${pdb_name}=${pdb}")
    string(REGEX MATCH "^([^=]+)=(.*)$" pair "${pair}")
    file(SHA256 "${work}/${CMAKE_MATCH_1}" packed)
    file(SHA256 "${CMAKE_MATCH_2}" built)
    if(NOT packed STREQUAL built)
      fail("the zip's ${CMAKE_MATCH_1} is not the one built at ${CMAKE_MATCH_2}")
    endif()
  endforeach()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DREADOBJ=${llvm_bin}/llvm-readobj -DPDBUTIL=${llvm_bin}/llvm-pdbutil
            -DMODULE=${work}/${name} -DPDB=${work}/${pdb_name}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../cmake/CheckPluginSymbols.cmake
    OUTPUT_VARIABLE symbols ERROR_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("the zip's ${pdb_name} does not serve its ${name}: ${symbols}")
  endif()
endfunction()
