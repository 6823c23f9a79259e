cmake_minimum_required(VERSION 3.25)
# cmake --install into ROOT (as DESTDIR, prefix /usr), then checks what a desktop and a shell find there.
file(REMOVE_RECURSE "${ROOT}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${ROOT} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(usr ${ROOT}/usr)
set(failures)

foreach(program oxs-remote-control oxsctl orlan-sim)
  if(NOT EXISTS ${usr}/bin/${program})
    list(APPEND failures "no bin/${program}")
    continue()
  endif()
  # The installed copy runs, with no display and no settings folder beside it.
  execute_process(COMMAND ${usr}/bin/${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "[0-9]+\\.[0-9]+")
    list(APPEND failures "${program} --version: ${rc} ${out}${err}")
  endif()
  if(NOT EXISTS ${usr}/share/man/man1/${program}.1)
    list(APPEND failures "no man page ${program}.1")
  endif()
endforeach()

set(desktop ${usr}/share/applications/oxs-remote-control.desktop)
if(EXISTS ${desktop})
  file(STRINGS ${desktop} entry)
  foreach(line "[Desktop Entry]" "Exec=oxs-remote-control" "Icon=oxs-remote-control" "Type=Application")
    list(FIND entry "${line}" at)
    if(at EQUAL -1)
      list(APPEND failures "desktop file lacks ${line}")
    endif()
  endforeach()
  if(NOT "${entry}" MATCHES "Categories=[^\n]*AudioVideo")
    list(APPEND failures "desktop file not among the audio/video tools")
  endif()
else()
  list(APPEND failures "no desktop file")
endif()

# The Icon= name resolves in the hicolor theme.
foreach(icon scalable/apps/oxs-remote-control.svg 16x16/apps/oxs-remote-control.png
        48x48/apps/oxs-remote-control.png 256x256/apps/oxs-remote-control.png)
  if(NOT EXISTS ${usr}/share/icons/hicolor/${icon})
    list(APPEND failures "no icon ${icon}")
  endif()
endforeach()

set(completion ${usr}/share/bash-completion/completions/oxsctl)
if(EXISTS ${completion})
  file(READ ${completion} text)
  foreach(word "complete -F _oxsctl oxsctl" "\"status get set dump watch " " HPOS " " LOCAL_IP ")
    string(FIND "${text}" "${word}" at)
    if(at EQUAL -1)
      list(APPEND failures "completion lacks '${word}'")
    endif()
  endforeach()
  # Completes in a plain bash: a command word, then a variable name after get and NAME= after set.
  execute_process(COMMAND bash -c [[
      source "$1"
      complete() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _oxsctl; echo "${COMPREPLY[*]}"; }
      complete oxsctl --tcp host wat; complete oxsctl get hp; complete oxsctl set OBL]] - ${completion}
    OUTPUT_VARIABLE completed ERROR_VARIABLE errors)
  if(NOT completed STREQUAL "watch\nHPOS\nOBLACK=\n" OR NOT errors STREQUAL "")
    list(APPEND failures "completion gave '${completed}' ${errors}")
  endif()
else()
  list(APPEND failures "no bash completion")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "install into DESTDIR:\n  ${text}")
endif()
