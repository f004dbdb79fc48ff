# Checks that a Windows program imports DLLs of Windows itself only: linked without
# -static, a MinGW-w64 program needs libstdc++-6.dll, libgcc_s_seh-1.dll or
# libwinpthread-1.dll beside it and does not start elsewhere.
#
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=mapmaker.exe -P check_imports.cmake
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed: ${failed}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM} imports no DLL at all; is it a Windows program?")
endif()

set(windows_dlls kernel32.dll msvcrt.dll ucrtbase.dll ntdll.dll advapi32.dll user32.dll
    shell32.dll ws2_32.dll bcrypt.dll)
set(foreign "")
set(names "")
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  list(APPEND names ${dll})
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST windows_dlls AND NOT dll MATCHES "^api-ms-win-")
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that are not part of Windows: ${foreign}")
endif()
message(STATUS "${PROGRAM} imports only ${names}")
