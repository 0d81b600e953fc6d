# The content of the program's download server, generated into <build>/server/downloads/:
#   P3D/<code>.xml   the stock airport file of every airport of airports.enc with stands
#   <major>/<name>   the encrypted data files (the ones packed into the working folder)
# scripts/serve serves the folder on loopback; any static web host can serve the same tree.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(WENDLE_SERVER_DIR "${CMAKE_BINARY_DIR}/server" CACHE PATH "Download server content made by the build")
# The data sets' versions, for the version list that the server carries beside them.
set(WENDLE_DATA_VERSIONS_FILE "${CMAKE_SOURCE_DIR}/data/data-versions.json")

set(wendle_stock_stamp ${CMAKE_BINARY_DIR}/server-stock.stamp)
add_custom_command(OUTPUT ${wendle_stock_stamp}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/data/make_stock_files.py
        --data ${CMAKE_SOURCE_DIR}/data --out ${WENDLE_SERVER_DIR} --version ${PROJECT_VERSION}
    COMMAND ${CMAKE_COMMAND} -E touch ${wendle_stock_stamp}
    DEPENDS ${CMAKE_SOURCE_DIR}/data/make_stock_files.py
        ${CMAKE_SOURCE_DIR}/data/airports.xml ${CMAKE_SOURCE_DIR}/data/dbase.xml
        ${CMAKE_SOURCE_DIR}/data/stock/stands.csv.gz ${CMAKE_SOURCE_DIR}/data/stock/visits.csv.gz
        ${CMAKE_SOURCE_DIR}/data/stock/names.csv
    COMMENT "Writing the stock airport files of the download server"
    VERBATIM)

set(wendle_server_data)
foreach(name dbase airports AIG-regcodes)
    set(from ${WENDLE_STAGE_DIR}/input/${name}.enc)
    set(to ${WENDLE_SERVER_DIR}/downloads/${PROJECT_VERSION_MAJOR}/${name}.enc)
    add_custom_command(OUTPUT ${to}
        COMMAND ${CMAKE_COMMAND} -E copy ${from} ${to}
        DEPENDS ${from}
        COMMENT "Putting ${name}.enc on the download server"
        VERBATIM)
    list(APPEND wendle_server_data ${to})
endforeach()

add_custom_target(wendle_server_content ALL DEPENDS ${wendle_stock_stamp} ${wendle_server_data})
add_dependencies(wendle_server_content wendle_stage_input)
