# Read by CPack when it makes the package: the Debian packages of the GStreamer elements the
# program creates become Depends (the optional ones Recommends), found the way
# scripts/check-setup finds them.
foreach(kind required optional)
  set(arguments)
  if(kind STREQUAL optional)
    set(arguments --optional)
  endif()
  execute_process(
    COMMAND ${CPACK_QELVO_SOURCE_DIR}/scripts/gstreamer-packages ${arguments}
    OUTPUT_VARIABLE packages
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "The GStreamer packages the program needs cannot be named (see above)")
  endif()
  string(STRIP "${packages}" packages)
  string(REPLACE "\n" ", " packages "${packages}")
  set(gstreamer_${kind} "${packages}")
endforeach()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${gstreamer_required}")
if(gstreamer_optional)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${CPACK_DEBIAN_PACKAGE_RECOMMENDS}, ${gstreamer_optional}")
endif()
