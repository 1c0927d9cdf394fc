# Server addresses are constants of the build. The default build points them at
# the bundled cloud emulator on loopback so that everything works out of the box;
# a production build sets the maker's hosts here.
set(BW_MAIN_API_BASE      "http://127.0.0.1:18080/"       CACHE STRING "Main API server base, ending with /")
set(BW_FILE_SERVER_BASE   "http://localhost:18080/files/" CACHE STRING "File server base, ending with /")
set(BW_SECOND_API_BASE    "http://127.0.0.2:18080/"       CACHE STRING "Second API server base, ending with /")
set(BW_PAYMENT_SERVER_BASE "http://127.0.0.3:18080/"      CACHE STRING "Payment server base, ending with /")
set(BW_TEST_SERVER_BASE   "http://127.0.0.4:18080/"       CACHE STRING "Test server base, ending with /")
set(BW_MAKER_WEBSITE      "https://www.kestrix.com/"      CACHE STRING "Web site opened by the logo")
set(BW_INTERNET_PROBE_HOST "www.kestrix.com"              CACHE STRING "Public host pinged when the connectivity probe says no")

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in ${CMAKE_BINARY_DIR}/generated/BuildConfig.h @ONLY)
add_library(bw_buildconfig INTERFACE)
target_include_directories(bw_buildconfig INTERFACE ${CMAKE_BINARY_DIR}/generated)
