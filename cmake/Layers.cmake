# The layers of the decoding core, bottom first: each entry is a layer
# (its folder and its library tolvane_LAYER) and the layers it uses
# directly. It may use what those use in turn, and nothing else. The
# build's libraries, the include check (CheckLayers.cmake) and the table in
# README.md all come from this list; the test layers_readme keeps the
# table in step with it.
set(TOLVANE_LAYER_DEPS
  "air:"
  "world:"
  "settings:world"
  "receiver:settings,air"
  "display:"
  "output:settings,display"
  "monitor:settings"
  "decoders:monitor,receiver,output"
  "engine:decoders"
  "platform:settings")

# tolvane_layer_uses(LAYER OUT): the layers LAYER may use, itself included.
function(tolvane_layer_uses layer out)
  set(found "")
  set(todo ${layer})
  while(todo)
    list(POP_FRONT todo current)
    if(current IN_LIST found)
      continue()
    endif()
    list(APPEND found ${current})
    foreach(entry ${TOLVANE_LAYER_DEPS})
      string(REPLACE ":" ";" parts "${entry}")
      list(GET parts 0 name)
      if(name STREQUAL current)
        list(LENGTH parts count)
        if(count GREATER 1)
          list(GET parts 1 direct)
          string(REPLACE "," ";" direct "${direct}")
          list(APPEND todo ${direct})
        endif()
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The README's table, one row per layer: | `layer/` | the layers it uses |
function(tolvane_layer_table out)
  set(text "| layer | may use |\n|---|---|\n")
  foreach(entry ${TOLVANE_LAYER_DEPS})
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    tolvane_layer_uses(${name} uses)
    list(REMOVE_ITEM uses ${name})
    if(uses)
      list(JOIN uses ", " shown)
    else()
      set(shown "nothing")
    endif()
    string(APPEND text "| `${name}/` | ${shown} |\n")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
