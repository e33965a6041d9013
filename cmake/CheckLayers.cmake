# Fails when a source includes a header of a layer above its own. Run as a
# build step (see CMakeLists.txt) with -DROOT=<source dir> -DSTAMP=<file>.
# Each layer may include its own folders and those listed after it.
set(layers
  "engine:engine decoders monitor output display receiver settings world air"
  "decoders:decoders monitor output display receiver settings world air"
  "monitor:monitor output display settings world"
  "output:output display settings world"
  "display:display"
  "receiver:receiver settings world air"
  "settings:settings world"
  "world:world"
  "air:air"
  "platform:platform settings world")
set(known engine decoders monitor output display receiver settings world air platform)
set(failures "")
foreach(entry ${layers})
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 layer)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
  file(GLOB_RECURSE sources ${ROOT}/${layer}/*.cpp ${ROOT}/${layer}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" folder "${line}")
      list(FIND known ${folder} isLayer)
      list(FIND allowed ${folder} isAllowed)
      if(isLayer GREATER -1 AND isAllowed EQUAL -1)
        file(RELATIVE_PATH rel ${ROOT} ${source})
        string(APPEND failures "  ${rel}: ${line} (${layer} may include only: ${allowed})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Includes that run upward through the layers:\n${failures}")
endif()
file(TOUCH ${STAMP})
