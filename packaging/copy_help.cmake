# Puts the help page and its screenshots beside the executable of a build:
#   cmake -DASSETS=<assets folder> -DDEST=<executable's folder> -P copy_help.cmake
file(COPY ${ASSETS}/orvane-recorder.html DESTINATION ${DEST})
file(GLOB shots ${ASSETS}/screenshots/*.png)
if(shots)
  file(COPY ${shots} DESTINATION ${DEST}/screenshots)
endif()
