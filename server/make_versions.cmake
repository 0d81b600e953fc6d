# Writes the server's versions.json: the program's version as "p3d" and, when a file of the
# data sets' versions is given, its members beside it.
#   cmake -DMAJOR=.. -DMINOR=.. -DPATCH=.. [-DDATA=<data versions .json>] -DOUT=<file>
#         -P make_versions.cmake
cmake_minimum_required(VERSION 3.22)
set(json "{}")
if(DATA)
    file(READ "${DATA}" json)
endif()
string(JSON json SET "${json}" p3d
    "{\"major\": ${MAJOR}, \"minor\": ${MINOR}, \"patch\": ${PATCH}}")
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
# Complete or not there: the server never offers half a file.
file(WRITE "${OUT}.part" "${json}\n")
file(RENAME "${OUT}.part" "${OUT}")
