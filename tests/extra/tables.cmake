# The files made from resources/ that the tree keeps (the Python package,
# docs/parameters.md) equal what the tables and the version make now.
list(JOIN XVR_COMMITTED_TABLES "," _committed)
add_test(NAME tables_committed
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DOUT=${CMAKE_CURRENT_BINARY_DIR}/tables_check
                 -DVERSION=${PROJECT_VERSION} -DCHECK=${_committed} -P ${CMAKE_SOURCE_DIR}/cmake/GenerateTables.cmake)
