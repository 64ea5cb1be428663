#pragma once
// The one address the installer fetches its configuration from, fixed at build time
// (see INSTALLER_CONFIG_HOST).
extern const wchar_t ConfigUrl[];
