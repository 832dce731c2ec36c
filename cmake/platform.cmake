# Libraries of the platform adapters (src/platform/*), found through pkg-config.
# Each adapter appends its imported targets to FENNICK_PLATFORM_LIBS.
set(FENNICK_PLATFORM_LIBS "")
