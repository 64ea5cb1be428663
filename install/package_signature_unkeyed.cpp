// An unkeyed build: sign is carried and never read, and the run goes on as it always has.
#include "install/package_signature_check.h"

bool AcceptDocumentSignature(const InstallConfig&) { return true; }

bool AcceptPackageSignature(const InstallConfig&, const std::wstring&) { return true; }
