# Libraries of the platform adapters (src/platform/*), found through pkg-config.
# Each adapter appends its imported targets to FENNICK_PLATFORM_LIBS.
set(FENNICK_PLATFORM_LIBS "")

# platform/intl: locale-aware number and date formatting.
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::ICU)
# Data layer: the SQLite and PostgreSQL drivers (src/platform/data).
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::SQLITE3 PkgConfig::LIBPQ)
# The MySQL and MariaDB driver (libmariadb).
pkg_check_modules(MARIADB REQUIRED IMPORTED_TARGET libmariadb)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::MARIADB)
# Data layer: the ODBC driver (unixODBC).
pkg_check_modules(ODBC REQUIRED IMPORTED_TARGET odbc)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::ODBC)
# Regular expressions of the script adapter (src/platform/script).
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::PCRE2)
# XML documents and XSLT (src/platform/xml).
pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(LIBXSLT REQUIRED IMPORTED_TARGET libxslt libexslt)
list(APPEND FENNICK_PLATFORM_LIBS PkgConfig::LIBXML2 PkgConfig::LIBXSLT)
