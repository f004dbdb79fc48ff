# cmake -DGROFF=... -DPAGE=NAME.1 -P render_man_page.cmake: writes NAME.1.txt, the page as
# plain ASCII text without overstriking, for systems that have no man.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE} OUTPUT_FILE ${PAGE}.txt
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff ${PAGE} failed: ${status}")
endif()
