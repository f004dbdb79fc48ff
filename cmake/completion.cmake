# Shell completion for maptool, written by the built maptool from its own verbs and options
# (`maptool completion bash|zsh|fish`) and installed where each shell looks for it. A
# Windows build has none of these shells, and a cross build cannot run its maptool here.
if(WIN32)
  return()
endif()

set(completion_dir ${CMAKE_CURRENT_BINARY_DIR}/completion)
set(completion_files)
# shell, file name, folder under the data folder
foreach(entry "bash;maptool;bash-completion/completions" "zsh;_maptool;zsh/vendor-completions"
              "fish;maptool.fish;fish/vendor_completions.d")
  list(GET entry 0 shell)
  list(GET entry 1 name)
  list(GET entry 2 folder)
  add_custom_command(OUTPUT ${completion_dir}/${shell}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${completion_dir}/${shell}
                     COMMAND maptool completion ${shell} > ${completion_dir}/${shell}/${name}
                     DEPENDS maptool
                     COMMENT "Writing maptool's ${shell} completion"
                     VERBATIM)
  list(APPEND completion_files ${completion_dir}/${shell}/${name})
  install(FILES ${completion_dir}/${shell}/${name}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/${folder})
endforeach()
add_custom_target(maptool_completion ALL DEPENDS ${completion_files})
