# Suite "ftp": needs the lumivex-ftp uploader, the test server script, python3-pyftpdlib and curl.
if(TARGET lumivex-ftp)
  add_dependencies(lumivex-bench lumivex-ftp)
  target_compile_definitions(lumivex-bench PRIVATE
    LUMIVEX_FTPD_SCRIPT="${PROJECT_SOURCE_DIR}/tests/ftp/ftpd.py"
    LUMIVEX_FTP_CLI="$<TARGET_FILE:lumivex-ftp>")
else()
  target_compile_definitions(lumivex-bench PRIVATE LUMIVEX_FTPD_SCRIPT="" LUMIVEX_FTP_CLI="")
endif()
